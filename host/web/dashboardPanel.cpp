#include "host/web/dashboardPanel.h"

#include <algorithm>

#include "control/controlDecision.h"
#include "control/numberText.h"
#include "control/sensorName.h"
#include "host/chart/fanColour.h"
#include "host/output/latin1Text.h"
#include "host/output/markupText.h"

namespace {

const char kNone[] = "\u2014"; // an em dash: no value

// ` name="value"`, the value escaped.
std::string attribute(const char *name, const std::string &value)
{
    return std::string(" ") + name + "=\"" + markupEscaped(value) + "\"";
}

std::string celsiusText(double celsius)
{
    return numberText(celsius) + " \u00b0C";
}

// The fan's colour for the page's CSS: ` style="--fan:#e6007e"`.
std::string fanStyle(int fan)
{
    return attribute("style", std::string("--fan:") + fanColour(fan));
}

bool readingHolds(const DashboardView &view)
{
    return view.polled && view.reading.error.empty();
}

double sensorCelsius(const Reading &reading, int sensor)
{
    return sensor < kDigitalSensorCount ? reading.digitalCelsius[sensor]
                                        : reading.analogCelsius[sensor - kDigitalSensorCount];
}

const FanOutcome *outcomeOf(const DashboardView &view, int fan)
{
    for (const FanOutcome &outcome : view.outcomes) {
        if (outcome.decision.fan == fan)
            return &outcome;
    }
    return nullptr;
}

// The fans a sensor drives, in the configuration's order, each once; fan
// numbers the controller does not have are left out.
std::vector<int> fansDrivenBy(const DashboardView &view, const std::string &sensor)
{
    std::vector<int> fans;
    for (const DrivenFan &fan : view.fans) {
        if (fan.fan >= 0 && fan.fan < kFanCount &&
            std::find(fan.sensors.begin(), fan.sensors.end(), sensor) != fan.sensors.end() &&
            std::find(fans.begin(), fans.end(), fan.fan) == fans.end())
            fans.push_back(fan.fan);
    }
    return fans;
}

std::string updated(const DashboardView &view)
{
    std::string html = "<p id=\"updated\"";
    if (view.polled)
        html += attribute("data-time", view.time);
    html += attribute("data-interval", numberText(view.intervalSeconds)) + ">";
    html += view.polled ? "Last poll " + markupEscaped(view.time) : "Waiting for the first poll";
    html += "</p>\n";
    if (view.polled && !view.reading.error.empty())
        html += "<p id=\"poll-error\" class=\"error\">The reading failed: " +
                markupEscaped(latin1ToUtf8(view.reading.error)) + "</p>\n";
    return html;
}

// The decided duty and what became of it.
std::string targetText(const FanOutcome &outcome)
{
    std::string text = std::to_string(outcome.decision.target) + " %";
    if (outcome.sent)
        text += " (sent)";
    if (!outcome.failure.empty())
        text += " <span class=\"send-error\">not sent: " + markupEscaped(latin1ToUtf8(outcome.failure)) + "</span>";
    return text;
}

// The fan's sensors, the hottest of them (its input) in <strong>.
std::string sensorsText(const DashboardView &view, const DrivenFan &fan, const FanOutcome *outcome)
{
    int hottest = -1;
    double hottestCelsius = 0;
    for (size_t i = 0; readingHolds(view) && outcome && outcome->decision.input && i < fan.sensors.size(); ++i) {
        const std::optional<int> sensor = sensorNumber(fan.sensors[i]);
        if (sensor && (hottest < 0 || sensorCelsius(view.reading, *sensor) > hottestCelsius)) {
            hottest = static_cast<int>(i);
            hottestCelsius = sensorCelsius(view.reading, *sensor);
        }
    }
    std::string text;
    for (size_t i = 0; i < fan.sensors.size(); ++i) {
        const std::string name = markupEscaped(fan.sensors[i]);
        text += (i ? ", " : "") + (static_cast<int>(i) == hottest ? "<strong>" + name + "</strong>" : name);
    }
    return text;
}

std::string fanRow(const DashboardView &view, const DrivenFan &fan)
{
    const FanOutcome *outcome = outcomeOf(view, fan.fan);
    std::string html = "<tr" + attribute("class", "fan fan-" + std::to_string(fan.fan)) + fanStyle(fan.fan) +
                       attribute("data-fan", std::to_string(fan.fan));
    if (outcome)
        html += attribute("data-reason", dutyReasonName(outcome->decision.reason));
    html += ">";
    html += "<td class=\"fan-name\">Fan " + std::to_string(fan.fan) + "</td>";
    const bool dutyKnown = readingHolds(view) && fan.fan >= 0 && fan.fan < kFanCount;
    html += "<td class=\"duty\">" +
            (dutyKnown ? std::to_string(view.reading.dutyPercent[fan.fan]) + " %" : std::string(kNone)) + "</td>";
    html += "<td class=\"target\">" + (outcome ? targetText(*outcome) : std::string(kNone)) + "</td>";
    html += "<td class=\"reason\">";
    if (outcome) {
        html += dutyReasonName(outcome->decision.reason);
        if (!outcome->decision.message.empty())
            html += " <span class=\"why\">" + markupEscaped(outcome->decision.message) + "</span>";
    } else {
        html += kNone;
    }
    html += "</td>";
    html += "<td class=\"input\">" +
            (outcome && outcome->decision.input ? celsiusText(*outcome->decision.input) : std::string(kNone)) + "</td>";
    html += "<td class=\"sensors\">" + sensorsText(view, fan, outcome) + "</td>";
    return html + "</tr>\n";
}

std::string fansTable(const DashboardView &view)
{
    std::string html =
        "<table id=\"fans\">\n<thead><tr><th>Fan</th><th>Duty</th><th>Decided</th><th>Reason</th>"
        "<th>Input</th><th>Sensors</th></tr></thead>\n<tbody>\n";
    for (const DrivenFan &fan : view.fans)
        html += fanRow(view, fan);
    return html + "</tbody>\n</table>\n";
}

std::string sensorTile(const DashboardView &view, int sensor)
{
    const std::string name = sensorName(sensor);
    const std::vector<int> fans = fansDrivenBy(view, name);
    std::string classes = "sensor", numbers, names;
    for (const int fan : fans) {
        classes += (fan == fans.front() ? " drives fan-" : " fan-") + std::to_string(fan);
        numbers += (numbers.empty() ? "" : " ") + std::to_string(fan);
        names += (names.empty() ? "fan " : ", fan ") + std::to_string(fan);
    }
    std::string html = "<div" + attribute("class", classes);
    if (!fans.empty())
        html += fanStyle(fans.front()) + attribute("data-fans", numbers);
    html += attribute("data-sensor", name) + ">";
    html += "<span class=\"name\">" + markupEscaped(name) + "</span>";
    html += "<span class=\"value\">" +
            (readingHolds(view) ? celsiusText(sensorCelsius(view.reading, sensor)) : std::string(kNone)) + "</span>";
    if (!fans.empty())
        html += "<span class=\"fans\">" + names + "</span>";
    return html + "</div>\n";
}

std::string temperatures(const DashboardView &view)
{
    std::string html = "<section id=\"temperatures\">\n<h2>Temperatures</h2>\n";
    for (int sensor = 0; sensor < kSensorCount; ++sensor)
        html += sensorTile(view, sensor);
    return html + "</section>\n";
}

std::string alarms(const DashboardView &view)
{
    std::string html = "<h2>Alarms</h2>\n<ol id=\"alarms\">\n";
    if (view.alarms.empty())
        html += "<li class=\"none\">No alarms since vornhost started</li>\n";
    for (const RecordedAlarm &alarm : view.alarms) {
        html += "<li class=\"alarm\"" + attribute("data-alarm", alarmName(alarm.event.kind)) +
                attribute("data-severity", severityName(alarmSeverity(alarm.event.kind))) + "><time" +
                attribute("datetime", alarm.time) + ">" + markupEscaped(alarm.time) + "</time> " +
                markupEscaped(alarmMessage(alarm.event)) + "</li>\n";
    }
    return html + "</ol>\n";
}

} // namespace

std::string panelHtml(const DashboardView &view)
{
    return updated(view) + "<h2>Fans</h2>\n" + fansTable(view) + temperatures(view) + alarms(view);
}
