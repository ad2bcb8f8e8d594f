#include "control/alarmTracker.h"

#include <cmath>

#include "control/numberText.h"

AlarmTracker::AlarmTracker(const AlarmConfig &config)
    : repeatMs_(static_cast<uint64_t>(std::llround(config.repeatMinutes * 60000))),
      lostMs_(static_cast<uint64_t>(std::llround(config.lostSeconds * 1000)))
{
}

bool AlarmTracker::due(std::optional<uint64_t> &lastMs, uint64_t nowMs) const
{
    if (lastMs && nowMs - *lastMs < repeatMs_)
        return false;
    lastMs = nowMs;
    return true;
}

// `event` is the pair's alarm; `left` the kind of its recovery.
void AlarmTracker::change(Pair &pair, bool active, AlarmEvent event, AlarmKind left, uint64_t nowMs,
                          std::vector<AlarmEvent> &out) const
{
    if (active == pair.active)
        return;
    pair.active = active;
    if (active) {
        pair.raised = due(pair.lastMs, nowMs);
        if (pair.raised)
            out.push_back(std::move(event));
    } else if (pair.raised) {
        event.kind = left;
        event.detail.clear();
        out.push_back(std::move(event));
    }
}

std::vector<AlarmEvent> AlarmTracker::poll(const std::vector<FanDecision> &fans, bool answered, uint64_t nowMs)
{
    std::vector<AlarmEvent> out;
    if (!answeredMs_ || answered)
        answeredMs_ = nowMs;
    const uint64_t silentMs = nowMs - *answeredMs_;
    change(lost_, !answered && silentMs >= lostMs_,
           {AlarmKind::ControllerLost, kNoFan, std::nullopt, 0, "for " + numberText(silentMs / 1000.0) + " s"},
           AlarmKind::ControllerBack, nowMs, out);

    for (const FanDecision &decision : fans) {
        const AlarmEvent event{AlarmKind::FailsafeEntered, decision.fan, decision.input, decision.target,
                               decision.message};
        const bool failsafe = decision.reason == DutyReason::Failsafe;
        change(failsafe_[decision.fan], failsafe, event, AlarmKind::FailsafeLeft, nowMs, out);
        // A fail-safe poll says nothing about the temperature: the critical
        // alarm stands as it was.
        if (!failsafe) {
            AlarmEvent critical = event;
            critical.kind = AlarmKind::CriticalEntered;
            change(critical_[decision.fan], decision.reason == DutyReason::Critical, critical, AlarmKind::CriticalLeft,
                   nowMs, out);
        }
        if (decision.reason == DutyReason::Reapply && due(reapplied_[decision.fan], nowMs)) {
            AlarmEvent reapplied = event;
            reapplied.kind = AlarmKind::DutyReapplied;
            out.push_back(std::move(reapplied));
        }
    }
    return out;
}
