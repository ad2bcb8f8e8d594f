// A CSV log of readings read back for a chart: the file `vornhost watch
// --csv` writes (and `control --csv`, which adds fanN_target). Of its
// columns, "time" (UTC, ISO 8601) is needed; the temperatures digital0..7 and
// analog0..5, the duties fanN_duty and fanN_target are taken where the
// header has them; "error" marks a failed reading; any other is ignored.
#pragma once

#include <string>
#include <vector>

// A cell beyond this magnitude is no reading (vornhost logs temperatures of
// -64 to 63.5 degrees and duties of at most 254 %): the chart leaves a gap.
constexpr double kLargestLoggedValue = 1e6;

enum class LogUnit {
    Celsius,
    Percent
};

struct LoggedSeries {
    std::string column; // "digital3", "fan0_duty"
    LogUnit unit;
    std::vector<double> values; // one per row; NaN where the row has none
};

struct ReadingLog {
    std::vector<long long> timeMs;    // per row: UTC milliseconds since 1970
    std::vector<bool> failed;         // per row: the reading failed (a text in "error")
    std::vector<LoggedSeries> series; // in a fixed order: digital, analog, duty, target (plottedSeries)
    int failedRows = 0;               // how many of `failed` are true
    std::vector<std::string> skipped; // why a row was left out: "line 7: ..."
};

// Every column a chart draws, without values, in that fixed order: the
// sensors digital0..analog5 (control/sensorName.h), then fanN_duty, then
// fanN_target for the four fans.
std::vector<LoggedSeries> plottedSeries();

// Reads the file. False with the reason in `error` when it cannot be read or
// has no "time" column; a row that cannot be read (a torn last line, a bad
// time) is left out and said why in `skipped`.
bool readReadingLog(const std::string &path, ReadingLog &log, std::string &error);
// The same for the header line and at most the last `tailBytes` of the file
// (from the first line that starts within them): what a long log's last
// hours need, whatever its size.
bool readReadingLogTail(const std::string &path, size_t tailBytes, ReadingLog &log, std::string &error);
// The same for a log's text; `name` stands for the file in the error.
bool readReadingLogText(const std::string &text, const std::string &name, ReadingLog &log, std::string &error);
