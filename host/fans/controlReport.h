// What `vornhost control` prints and logs, one line per poll: a table by
// default, JSON Lines with --json, and with --csv FILE a CSV row per poll
// that `vornhost plot` draws. The exit duties close each of them with a line
// of their own (reason "exit"; in JSON an "exit" member with the cause), and
// each alarm (control/alarmEvent.h) with a line after its poll's.
#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "control/alarmEvent.h"
#include "control/controlDecision.h"
#include "host/fans/fanOutcome.h"
#include "host/output/csvFile.h"
#include "host/output/jsonOutput.h"
#include "host/output/reading.h"
#include "host/process/stopRequest.h"

// control/'s texts (UTF-8, "63.5 °C") for a console, which shows them in its
// own code page: without the degree sign, "63.5 C", as watch's table writes it.
std::string consoleText(std::string text);

// A poll as JSON: {"time", "error", "fans": [{"fan", "input", "target",
// "sent", "reason", "message"?, "sendError"?}]}.
JsonDocument pollJson(const std::string &time, const Reading &reading, const std::vector<FanOutcome> &fans);
// An alarm as JSON: {"time", "alarm", "severity", "fan", "input", "message"}.
JsonDocument alarmJson(const std::string &time, const AlarmEvent &event);
// What the service's status file and the dashboard's /api/status hold: the
// last poll and the last alarm (null when none), {"poll", "alarm"}, on one
// line without its end.
std::string statusText(const JsonDocument &poll, const JsonDocument &alarm);

class ControlReport {
public:
    ControlReport(const ControlConfig &config, bool json, bool dryRun);

    // Starts the CSV log; prints the reason and returns false when it
    // cannot be written.
    // `append`: add to the file when it exists (the service's daily log).
    bool openCsv(const std::string &path, bool append = false);
    // The CSV log being written; empty without one.
    const std::string &csvPath() const { return csv_.path(); }
    // The table's title and column heads (nothing in JSON).
    void begin(const std::string &configPath);
    void poll(const std::string &time, const Reading &reading, const std::vector<FanOutcome> &fans);
    // {"time": ..., "alarm": "failsafe-entered", "severity": "error",
    //  "fan": 2, "input": null, "message": ...}, or a table row "alarm ...".
    void alarm(const std::string &time, const AlarmEvent &event);
    void exit(const std::string &time, StopCause cause, const std::vector<FanOutcome> &fans);
    // "vornhost: cannot run the alarm program ..." on stderr, apart from the
    // table or the JSON Lines.
    void alarmProgramFailed(const std::string &failure);

private:
    void tableRows(const std::string &time, const std::vector<FanOutcome> &fans, const std::string &note);
    void csvRow(const std::string &time, const Reading *reading, const std::vector<FanOutcome> &fans);

    const ControlConfig &config_;
    bool json_;
    bool dryRun_;
    CsvFile csv_;
};
