#include "control/alarmEvent.h"

#include "control/numberText.h"

namespace {

std::string fanText(const AlarmEvent &event)
{
    return "fan " + std::to_string(event.fan);
}

std::string inputText(const AlarmEvent &event)
{
    return event.input ? " (" + numberText(*event.input) + " °C)" : "";
}

std::string detailText(const AlarmEvent &event)
{
    return event.detail.empty() ? "" : ": " + event.detail;
}

} // namespace

const char *alarmName(AlarmKind kind)
{
    switch (kind) {
    case AlarmKind::FailsafeEntered:
        return "failsafe-entered";
    case AlarmKind::FailsafeLeft:
        return "failsafe-left";
    case AlarmKind::CriticalEntered:
        return "critical-entered";
    case AlarmKind::CriticalLeft:
        return "critical-left";
    case AlarmKind::ControllerLost:
        return "controller-lost";
    case AlarmKind::ControllerBack:
        return "controller-back";
    case AlarmKind::DutyReapplied:
        return "duty-reapplied";
    case AlarmKind::Test:
        break;
    }
    return "test";
}

AlarmSeverity alarmSeverity(AlarmKind kind)
{
    switch (kind) {
    case AlarmKind::FailsafeEntered:
    case AlarmKind::ControllerLost:
        return AlarmSeverity::Error;
    case AlarmKind::CriticalEntered:
    case AlarmKind::DutyReapplied:
        return AlarmSeverity::Warning;
    default:
        return AlarmSeverity::Information;
    }
}

const char *severityName(AlarmSeverity severity)
{
    switch (severity) {
    case AlarmSeverity::Error:
        return "error";
    case AlarmSeverity::Warning:
        return "warning";
    case AlarmSeverity::Information:
        break;
    }
    return "information";
}

std::string alarmMessage(const AlarmEvent &event)
{
    const std::string duty = std::to_string(event.duty) + " %";
    switch (event.kind) {
    case AlarmKind::FailsafeEntered:
        return fanText(event) + " runs at its fail-safe duty of " + duty + detailText(event);
    case AlarmKind::FailsafeLeft:
        return fanText(event) + " left its fail-safe duty, now " + duty + inputText(event);
    case AlarmKind::CriticalEntered:
        return fanText(event) + " runs at full speed: its input reached critical" + inputText(event);
    case AlarmKind::CriticalLeft:
        return fanText(event) + " is back on its curve at " + duty + inputText(event);
    case AlarmKind::ControllerLost:
        return "the controller did not answer" + detailText(event);
    case AlarmKind::ControllerBack:
        return "the controller answers again";
    case AlarmKind::DutyReapplied:
        return fanText(event) + " got its duty of " + duty + " again" + detailText(event);
    case AlarmKind::Test:
        break;
    }
    return "a test of the alarm command";
}
