#include "host/fans/controlLoop.h"

#include <algorithm>

#include "host/output/reading.h"
#include "host/output/utcTime.h"
#include "host/process/alarmProgram.h"
#include "host/process/clocks.h"

namespace {

const char kExitGivenUp[] = "vornhost: another program kept the controller past the exit's deadline; given up";

SensorReadings sensorsOf(const Reading &reading)
{
    SensorReadings sensors;
    sensors.failed = !reading.error.empty();
    std::copy(reading.digitalCelsius, reading.digitalCelsius + kDigitalSensorCount, sensors.celsius.begin());
    std::copy(reading.analogCelsius, reading.analogCelsius + kAnalogSensorCount,
              sensors.celsius.begin() + kDigitalSensorCount);
    std::copy(reading.dutyPercent, reading.dutyPercent + kFanCount, sensors.dutyPercent.begin());
    return sensors;
}

} // namespace

ControlLoop::ControlLoop(const ControlConfig &config, ControlReport &report, DeviceAccess &access, DeviceChoice device,
                         const char *unnamed, bool dryRun)
    : config_(config), report_(report), access_(access), device_(std::move(device)), unnamed_(unnamed), dryRun_(dryRun),
      alarms_(config.alarms)
{
}

void ControlLoop::poll(const std::string &time)
{
    Reading reading;
    std::vector<FanOutcome> outcomes;
    std::vector<AlarmEvent> events;
    {
        // The turn covers the exchange and the sends only: the device is
        // closed and the lock let go before anything is printed, written or
        // run, so that no other program waits for a file, the Event Log or
        // an alarm program.
        ControllerTurn turn = access_.turnFor(device_, kControllerTurnMs, stopEvent());
        const std::string unopened = access_.openChosen(turn, device_, unnamed_);
        uint8_t frame[kStatusFrameSize] = {};
        const char *failure = turn.open() ? turn.exchangeStatus(frame) : nullptr;
        if (!turn.open())
            reading.error = unopened;
        else if (failure != nullptr)
            reading.error = failure;
        else
            readingFromFrame(frame, reading);
        ControlStep step = decideControl(config_, sensorsOf(reading), state_);
        state_ = step.state;
        events = alarms_.poll(step.fans, reading.error.empty(), tickCountMs());
        outcomes = deliver(std::move(step.fans), turn, unopened);
    }
    for (Listener *listener : listeners_)
        listener->poll(time, reading, outcomes);
    report_.poll(time, reading, outcomes);
    std::vector<AlarmEvent> raised;
    for (const AlarmEvent &event : events) {
        // A dry run sends nothing: that the fan is not at its duty is no news.
        if (dryRun_ && event.kind == AlarmKind::DutyReapplied)
            continue;
        report_.alarm(time, event);
        for (Listener *listener : listeners_)
            listener->alarm(time, event);
        raised.push_back(event);
    }
    runAlarmPrograms(raised);
}

// After every alarm of the poll is recorded, so that none waits for the
// program of another. A dry run only shows what a run would do.
void ControlLoop::runAlarmPrograms(const std::vector<AlarmEvent> &events)
{
    if (dryRun_ || !config_.alarms.program)
        return;
    for (const AlarmEvent &event : events) {
        unsigned long exitCode = 0;
        std::string failure;
        if (runAlarmProgram(config_.alarms, event, stopEvent(), exitCode, failure))
            continue;
        report_.alarmProgramFailed(failure);
        for (Listener *listener : listeners_)
            listener->alarmProgramFailed(failure);
    }
}

void ControlLoop::finish(StopCause cause)
{
    if (finished_)
        return;
    finished_ = true;
    std::vector<FanOutcome> outcomes;
    {
        // No cancel here: the stop is what this turn answers. A dry run
        // opens nothing.
        const DeviceChoice device = dryRun_ ? DeviceChoice{} : device_;
        ControllerTurn turn = access_.turnFor(device, exitTimeLeftMs());
        const std::string unopened = access_.openChosen(turn, device, unnamed_);
        outcomes = deliver(exitDecisions(config_), turn, unopened);
        if (unopened == kControllerBusy)
            for (FanOutcome &outcome : outcomes)
                outcome.failure = kExitGivenUp;
    }
    report_.exit(timestampNow(), cause, outcomes);
    exitDutiesDone();
}

// Sends what the decisions say to send on the turn's handle, and records
// what got through: a duty that did not is sent again at the next poll.
// With the device not open, each says why (`unopened`).
std::vector<FanOutcome> ControlLoop::deliver(std::vector<FanDecision> decisions, ControllerTurn &turn,
                                             const std::string &unopened)
{
    std::vector<FanOutcome> outcomes;
    for (FanDecision &decision : decisions) {
        FanOutcome outcome{std::move(decision), std::nullopt, ""};
        const FanDecision &sent = outcome.decision;
        if (sent.send && dryRun_) {
            recordSent(state_, sent.fan, sent.target);
        } else if (sent.send) {
            const char *failure = turn.open() ? turn.send(sent.fan, sent.target) : nullptr;
            outcome.failure = !turn.open() ? unopened : failure != nullptr ? failure : "";
            if (outcome.failure.empty()) {
                recordSent(state_, sent.fan, sent.target);
                outcome.sent = sent.target;
            }
        }
        outcomes.push_back(std::move(outcome));
    }
    return outcomes;
}
