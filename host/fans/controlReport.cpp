#include "host/fans/controlReport.h"

#include "host/output/logColumns.h"
#include "host/output/readingCsv.h"

namespace {

JsonDocument orNull(const std::optional<double> &value)
{
    return value ? JsonDocument(*value) : JsonDocument(nullptr);
}

JsonDocument fansJson(const std::vector<FanOutcome> &fans)
{
    JsonDocument list = JsonDocument::array();
    for (const FanOutcome &outcome : fans) {
        const FanDecision &decision = outcome.decision;
        JsonDocument fan;
        fan["fan"] = decision.fan;
        fan["input"] = orNull(decision.input);
        fan["target"] = decision.target;
        fan["sent"] = outcome.sent ? JsonDocument(*outcome.sent) : JsonDocument(nullptr);
        fan["reason"] = dutyReasonName(decision.reason);
        if (!decision.message.empty())
            fan["message"] = decision.message; // control/'s own text, UTF-8 already
        if (!outcome.failure.empty())
            fan["sendError"] = jsonText(outcome.failure);
        list.push_back(std::move(fan));
    }
    return list;
}

} // namespace

JsonDocument pollJson(const std::string &time, const Reading &reading, const std::vector<FanOutcome> &fans)
{
    JsonDocument line;
    line["time"] = time;
    line["error"] = reading.error.empty() ? JsonDocument(nullptr) : jsonText(reading.error);
    line["fans"] = fansJson(fans);
    return line;
}

JsonDocument alarmJson(const std::string &time, const AlarmEvent &event)
{
    JsonDocument line;
    line["time"] = time;
    line["alarm"] = alarmName(event.kind);
    line["severity"] = severityName(alarmSeverity(event.kind));
    line["fan"] = event.fan == kNoFan ? JsonDocument(nullptr) : JsonDocument(event.fan);
    line["input"] = orNull(event.input);
    line["message"] = alarmMessage(event); // control/'s own text, UTF-8 already
    return line;
}

std::string statusText(const JsonDocument &poll, const JsonDocument &alarm)
{
    JsonDocument status;
    status["poll"] = poll;
    status["alarm"] = alarm;
    return status.dump(-1, ' ', false, JsonDocument::error_handler_t::replace);
}

std::string consoleText(std::string text)
{
    const std::string degree = "\xC2\xB0";
    for (size_t at = text.find(degree); at != std::string::npos; at = text.find(degree, at))
        text.erase(at, degree.size());
    return text;
}

ControlReport::ControlReport(const ControlConfig &config, bool json, bool dryRun)
    : config_(config), json_(json), dryRun_(dryRun)
{
}

bool ControlReport::openCsv(const std::string &path, bool append)
{
    std::string header = kTimeColumn + csvTemperatureHeader();
    for (const FanCurveConfig &fan : config_.fans) {
        for (const FanColumn kind : {FanColumn::Duty, FanColumn::Target, FanColumn::Sent, FanColumn::Reason})
            header += "," + fanColumn(static_cast<int>(fan.fan), kind);
    }
    return csv_.open(path, header + "," + kErrorColumn, append);
}

void ControlReport::begin(const std::string &configPath)
{
    if (json_)
        return;
    std::printf("vornhost control: %s every %g s%s; Ctrl-C ends it, each fan then gets its exit duty\n",
                configPath.c_str(), config_.interval, dryRun_ ? ", dry run: nothing is sent" : "");
    std::printf("%-24s  %3s  %7s  %8s  %6s  %s\n", "Time", "Fan", "Input C", "Target %", "Sent %", "Reason");
    std::fflush(stdout);
}

void ControlReport::poll(const std::string &time, const Reading &reading, const std::vector<FanOutcome> &fans)
{
    if (json_) {
        printJsonLine(pollJson(time, reading, fans));
    } else {
        tableRows(time, fans, reading.error);
    }
    csvRow(time, &reading, fans);
}

void ControlReport::alarm(const std::string &time, const AlarmEvent &event)
{
    const char *severity = severityName(alarmSeverity(event.kind));
    if (json_) {
        printJsonLine(alarmJson(time, event));
        return;
    }
    const std::string fan = event.fan == kNoFan ? "-" : std::to_string(event.fan);
    std::printf("%-24s  %3s  %7s  %8s  %6s  alarm %s (%s): %s\n", time.c_str(), fan.c_str(), "", "", "",
                alarmName(event.kind), severity, consoleText(alarmMessage(event)).c_str());
    std::fflush(stdout);
}

void ControlReport::exit(const std::string &time, StopCause cause, const std::vector<FanOutcome> &fans)
{
    if (json_) {
        JsonDocument line;
        line["time"] = time;
        line["exit"] = stopCauseName(cause);
        line["fans"] = fansJson(fans);
        printJsonLine(line);
    } else {
        tableRows(time, fans, stopCauseName(cause));
    }
    csvRow(time, nullptr, fans);
}

void ControlReport::alarmProgramFailed(const std::string &failure)
{
    std::fprintf(stderr, "vornhost: %s\n", failure.c_str());
}

// One row per fan, the time on the first; `note` (the failure that made
// every fan's reading fail, or why the loop ends) follows the reason in
// parentheses.
void ControlReport::tableRows(const std::string &time, const std::vector<FanOutcome> &fans, const std::string &note)
{
    for (size_t i = 0; i < fans.size(); ++i) {
        const FanDecision &decision = fans[i].decision;
        char input[16] = "-", sent[16] = "-";
        if (decision.input)
            std::snprintf(input, sizeof input, "%.1f", *decision.input);
        if (fans[i].sent)
            std::snprintf(sent, sizeof sent, "%d", *fans[i].sent);
        std::string reason = dutyReasonName(decision.reason);
        if (!decision.message.empty())
            reason += ": " + consoleText(decision.message);
        if (!note.empty())
            reason += " (" + note + ")";
        if (!fans[i].failure.empty())
            reason += "; not sent: " + fans[i].failure;
        std::printf("%-24s  %3d  %7s  %8d  %6s  %s\n", i == 0 ? time.c_str() : "", decision.fan, input, decision.target,
                    sent, reason.c_str());
    }
    std::fflush(stdout);
}

// The exit's row has no reading: its temperatures and duties are empty, as
// a failed reading's are, but its error is too.
void ControlReport::csvRow(const std::string &time, const Reading *reading, const std::vector<FanOutcome> &fans)
{
    if (!csv_.isOpen())
        return;
    Reading none;
    none.error = "none";
    std::string row = csvField(time) + csvTemperatureCells(reading != nullptr ? *reading : none);
    for (const FanOutcome &outcome : fans) {
        const int fan = outcome.decision.fan;
        row += ",";
        if (reading != nullptr && reading->error.empty())
            row += std::to_string(reading->dutyPercent[fan]);
        row += "," + std::to_string(outcome.decision.target) + ",";
        if (outcome.sent)
            row += std::to_string(*outcome.sent);
        row += std::string(",") + dutyReasonName(outcome.decision.reason);
    }
    row += "," + csvField(reading != nullptr ? reading->error : "");
    csv_.row(row);
}
