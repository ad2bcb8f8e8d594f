#include "host/web/dashboardState.h"

#include <algorithm>

#include "host/chart/drivenFans.h"
#include "host/output/utcTime.h"
#include "host/web/readingLogRows.h"

namespace {

// Exclusive for the loop, shared for the servers; released at scope's end.
class Locked {
public:
    Locked(SRWLOCK &lock, bool exclusive) : lock_(lock), exclusive_(exclusive)
    {
        exclusive_ ? AcquireSRWLockExclusive(&lock_) : AcquireSRWLockShared(&lock_);
    }
    ~Locked() { exclusive_ ? ReleaseSRWLockExclusive(&lock_) : ReleaseSRWLockShared(&lock_); }
    Locked(const Locked &) = delete;
    Locked &operator=(const Locked &) = delete;

private:
    SRWLOCK &lock_;
    bool exclusive_;
};

} // namespace

DashboardState::DashboardState(const ControlConfig &config, const ControlReport &report)
    : report_(report), lastPoll_(nullptr), lastAlarm_(nullptr)
{
    view_.intervalSeconds = config.interval;
    view_.fans = drivenFans(config);
    view_.statusJson = statusText(lastPoll_, lastAlarm_);
}

void DashboardState::poll(const std::string &time, const Reading &reading, const std::vector<FanOutcome> &fans)
{
    // Built before the lock is taken (only this thread writes the
    // documents): the servers wait for the swap only.
    JsonDocument pollDocument = pollJson(time, reading, fans);
    std::string status = statusText(pollDocument, lastAlarm_);
    long long timeMs = 0;
    const bool timed = parseUtcTime(time, timeMs);
    std::string csvPath = report_.csvPath();

    Locked locked(lock_, true);
    lastPoll_ = std::move(pollDocument);
    view_.polled = true;
    view_.time = time;
    view_.reading = reading;
    view_.outcomes = fans;
    view_.statusJson = std::move(status);
    csvPath_ = std::move(csvPath);
    if (timed) {
        lastPollMs_ = timeMs;
        dropAfter(hour_, timeMs - 1); // the clock set back: what it said before is no past
        appendPoll(hour_, timeMs, reading, fans);
        dropBefore(hour_, timeMs - kMinutesKept * 60000LL);
    }
}

void DashboardState::alarm(const std::string &time, const AlarmEvent &event)
{
    JsonDocument alarmDocument = alarmJson(time, event);
    std::string status = statusText(lastPoll_, alarmDocument);
    Locked locked(lock_, true);
    lastAlarm_ = std::move(alarmDocument);
    view_.statusJson = std::move(status);
    view_.alarms.insert(view_.alarms.begin(), RecordedAlarm{time, event});
    if (view_.alarms.size() > kAlarmsShown)
        view_.alarms.resize(kAlarmsShown);
    ++view_.alarmCounts[static_cast<size_t>(event.kind)];
}

DashboardView DashboardState::view() const
{
    Locked locked(lock_, false);
    return view_;
}

ReadingLog DashboardState::recent(int minutes) const
{
    Locked locked(lock_, false);
    return lastMinutes(hour_, lastPollMs_, std::min(minutes, kMinutesKept));
}

std::string DashboardState::csvPath() const
{
    Locked locked(lock_, false);
    return csvPath_;
}

long long DashboardState::lastPollMs() const
{
    Locked locked(lock_, false);
    return lastPollMs_;
}
