// Which alarms (control/alarmEvent.h) a run of polls raises: each poll's
// decisions against the previous poll's, and the time since the controller
// last answered. Pure, on the caller's clock of milliseconds.
//
// The same alarm (kind and fan) is raised at most once per repeatMinutes; an
// alarm held back that way takes its recovery with it, so that a fan that
// goes in and out of its fail-safe every poll reports one pair, not a left
// without an entered.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "control/alarmEvent.h"
#include "control/controlDecision.h"

class AlarmTracker {
public:
    explicit AlarmTracker(const AlarmConfig &config);

    // One poll: its decisions, whether the controller answered (its frame
    // was read), and when.
    std::vector<AlarmEvent> poll(const std::vector<FanDecision> &fans, bool answered, uint64_t nowMs);

private:
    // An alarm and its recovery: whether it stands, whether its raising was
    // let through, and when it last was.
    struct Pair {
        bool active = false;
        bool raised = false;
        std::optional<uint64_t> lastMs;
    };

    bool due(std::optional<uint64_t> &lastMs, uint64_t nowMs) const;
    void change(Pair &pair, bool active, AlarmEvent event, AlarmKind left, uint64_t nowMs,
                std::vector<AlarmEvent> &out) const;

    uint64_t repeatMs_;
    uint64_t lostMs_;
    std::array<Pair, kFanCount> failsafe_;
    std::array<Pair, kFanCount> critical_;
    std::array<std::optional<uint64_t>, kFanCount> reapplied_;
    Pair lost_;
    std::optional<uint64_t> answeredMs_;
};
