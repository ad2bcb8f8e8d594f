#include "host/web/metricsText.h"

#include "control/controlDecision.h"
#include "control/sensorName.h"
#include "host/output/utcTime.h"
#include "host/web/expositionText.h"

namespace {

void temperatures(const DashboardView &view, bool readingHolds, ExpositionText &out)
{
    out.family("vorn_temperature_celsius", "gauge", "The controller's temperature sensors, degrees Celsius.");
    if (!readingHolds)
        return;
    for (int sensor = 0; sensor < kSensorCount; ++sensor) {
        const double celsius = sensor < kDigitalSensorCount ? view.reading.digitalCelsius[sensor]
                                                            : view.reading.analogCelsius[sensor - kDigitalSensorCount];
        out.sample({{"sensor", sensorName(sensor)}}, celsius);
    }
}

void duties(const DashboardView &view, bool readingHolds, ExpositionText &out)
{
    out.family("vorn_fan_duty_percent", "gauge", "Each fan's duty as the controller's status frame shows it, percent.");
    if (!readingHolds)
        return;
    for (int fan = 0; fan < kFanCount; ++fan)
        out.sample({{"fan", std::to_string(fan)}}, view.reading.dutyPercent[fan]);
}

void decisions(const DashboardView &view, ExpositionText &out)
{
    out.family("vorn_fan_target_percent", "gauge", "The duty fan control decided at the last poll, percent.");
    for (const FanOutcome &outcome : view.outcomes)
        out.sample({{"fan", std::to_string(outcome.decision.fan)}}, outcome.decision.target);
    out.family("vorn_fan_input_celsius", "gauge", "The hottest of the sensors that drive the fan, degrees Celsius.");
    for (const FanOutcome &outcome : view.outcomes) {
        if (outcome.decision.input)
            out.sample({{"fan", std::to_string(outcome.decision.fan)}}, *outcome.decision.input);
    }
    out.family("vorn_fan_reason", "gauge",
               "Why fan control decided the fan's duty: 1 for the reason, 0 for the others.");
    for (const FanOutcome &outcome : view.outcomes) {
        for (int r = 0; r < kDutyReasonCount; ++r) {
            const DutyReason reason = static_cast<DutyReason>(r);
            out.sample({{"fan", std::to_string(outcome.decision.fan)}, {"reason", dutyReasonName(reason)}},
                       reason == outcome.decision.reason ? 1 : 0);
        }
    }
}

void alarms(const DashboardView &view, ExpositionText &out)
{
    out.family("vorn_alarms_total", "counter", "Alarms raised since vornhost started, by kind.");
    for (size_t k = 0; k < kAlarmKindCount; ++k) {
        const AlarmKind kind = static_cast<AlarmKind>(k);
        if (kind == AlarmKind::Test) // raised by `vornhost alarm --test` only, never by a run
            continue;
        out.sample({{"alarm", alarmName(kind)}, {"severity", severityName(alarmSeverity(kind))}},
                   static_cast<double>(view.alarmCounts[k]));
    }
}

void poll(const DashboardView &view, ExpositionText &out)
{
    out.family("vorn_poll_failed", "gauge", "1 when the last poll's reading failed, else 0.");
    if (view.polled)
        out.sample({}, view.reading.error.empty() ? 0 : 1);
    out.family("vorn_last_poll_timestamp_seconds", "gauge", "When the last poll was, seconds since 1970 UTC.");
    long long ms = 0;
    if (view.polled && parseUtcTime(view.time, ms))
        out.sample({}, static_cast<double>(ms) / 1000);
    out.family("vorn_poll_interval_seconds", "gauge", "The configured time between polls, seconds.");
    out.sample({}, view.intervalSeconds);
}

} // namespace

std::string metricsText(const DashboardView &view)
{
    ExpositionText out;
    const bool readingHolds = view.polled && view.reading.error.empty();
    temperatures(view, readingHolds, out);
    duties(view, readingHolds, out);
    decisions(view, out);
    alarms(view, out);
    poll(view, out);
    return out.text();
}
