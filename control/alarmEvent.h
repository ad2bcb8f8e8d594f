// What `vornhost control` and the service raise an alarm for: a fan entering
// or leaving its fail-safe duty or full speed at `critical`, the controller
// lost for longer than the configuration allows and back, a duty sent again
// because the fan was found elsewhere or the computer resumed; and the test
// event of `vornhost alarm --test`. Each has a name (the alarm command's
// VORN_EVENT, the JSON line's "alarm"), an Event Log severity and a message.
#pragma once

#include <optional>
#include <string>

enum class AlarmKind {
    FailsafeEntered,
    FailsafeLeft,
    CriticalEntered,
    CriticalLeft,
    ControllerLost,
    ControllerBack,
    DutyReapplied,
    Test,
};

// The Event Log's kinds of entry: an alarm is a warning or an error, its
// recovery information.
enum class AlarmSeverity {
    Information,
    Warning,
    Error,
};

// No fan: the event is the controller's (lost, back, test).
constexpr int kNoFan = -1;

struct AlarmEvent {
    AlarmKind kind = AlarmKind::Test;
    int fan = kNoFan;
    std::optional<double> input; // °C, the fan's input when it has one
    int duty = 0;                // percent: the duty the fan got (fan events)
    std::string detail;          // the decision's why ("the reading failed"), or how long the controller was lost
};

// "failsafe-entered", "failsafe-left", "critical-entered", "critical-left",
// "controller-lost", "controller-back", "duty-reapplied", "test".
const char *alarmName(AlarmKind kind);

AlarmSeverity alarmSeverity(AlarmKind kind);

// "information", "warning", "error".
const char *severityName(AlarmSeverity severity);

// One line in UTF-8, e.g. "fan 2 runs at its fail-safe duty of 100 %: the
// reading failed", "fan 2 is back on its curve at 45 % (41.5 °C)".
std::string alarmMessage(const AlarmEvent &event);
