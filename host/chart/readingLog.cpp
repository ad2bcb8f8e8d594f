#include "host/chart/readingLog.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "control/sensorName.h"
#include "core/statusFrame.h"
#include "host/output/logColumns.h"
#include "host/output/utcTime.h"

namespace {

int columnIndex(const std::vector<std::string> &header, const std::string &name)
{
    for (size_t i = 0; i < header.size(); ++i) {
        if (header[i] == name)
            return static_cast<int>(i);
    }
    return -1;
}

// A cell's number; NaN when it is empty or no number.
double cellValue(const std::string &cell)
{
    char *end = nullptr;
    const double value = std::strtod(cell.c_str(), &end);
    return !cell.empty() && *end == '\0' && std::fabs(value) <= kLargestLoggedValue ? value : NAN;
}

// The fields of CSV text, record by record: fields separated by commas, a
// field in double quotes may hold commas, line ends and doubled quotes;
// records end in LF or CR LF; blank lines are none. `lines` gets each
// record's first line number.
std::vector<std::vector<std::string>> csvRecords(const std::string &text, std::vector<int> &lines)
{
    std::vector<std::vector<std::string>> records;
    std::vector<std::string> record(1);
    bool quoted = false, recordStarted = false;
    int line = 1, recordLine = 1;
    auto endRecord = [&] {
        if (recordStarted || record.size() > 1 || !record[0].empty()) {
            records.push_back(record);
            lines.push_back(recordLine);
        }
        record.assign(1, std::string());
        recordStarted = false;
        recordLine = line;
    };
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\n')
            ++line;
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"')
                record.back() += text[++i];
            else if (c == '"')
                quoted = false;
            else
                record.back() += c;
        } else if (c == '"') {
            quoted = recordStarted = true;
        } else if (c == ',') {
            record.emplace_back();
        } else if (c == '\n') {
            endRecord();
        } else if (c != '\r' || i + 1 >= text.size() || text[i + 1] != '\n') {
            record.back() += c;
        }
    }
    endRecord();
    return records;
}

} // namespace

std::vector<LoggedSeries> plottedSeries()
{
    std::vector<LoggedSeries> columns;
    for (int sensor = 0; sensor < kSensorCount; ++sensor)
        columns.push_back({sensorName(sensor), LogUnit::Celsius, {}});
    for (const FanColumn kind : {FanColumn::Duty, FanColumn::Target}) {
        for (int fan = 0; fan < kFanCount; ++fan)
            columns.push_back({fanColumn(fan, kind), LogUnit::Percent, {}});
    }
    return columns;
}

bool readReadingLog(const std::string &path, ReadingLog &log, std::string &error)
{
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = "cannot read " + path;
        return false;
    }
    const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    return readReadingLogText(text, path, log, error);
}

bool readReadingLogTail(const std::string &path, size_t tailBytes, ReadingLog &log, std::string &error)
{
    std::ifstream file(path, std::ios::binary);
    std::string header;
    if (!file || !std::getline(file, header)) {
        error = "cannot read " + path;
        return false;
    }
    file.seekg(0, std::ios::end);
    const std::streamoff size = file.tellg();
    const std::streamoff bodyStart = static_cast<std::streamoff>(header.size()) + 1;
    const std::streamoff from = std::max(bodyStart, size - static_cast<std::streamoff>(tailBytes));
    file.seekg(from);
    std::string tail((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (from > bodyStart) {
        // Cut in a line: it starts after the next line end.
        const size_t lineEnd = tail.find('\n');
        tail.erase(0, lineEnd == std::string::npos ? tail.size() : lineEnd + 1);
    }
    return readReadingLogText(header + "\n" + tail, path, log, error);
}

bool readReadingLogText(const std::string &text, const std::string &name, ReadingLog &log, std::string &error)
{
    std::vector<int> lines;
    const std::vector<std::vector<std::string>> records = csvRecords(text, lines);
    const std::vector<std::string> header = records.empty() ? std::vector<std::string>() : records.front();
    const int timeColumn = columnIndex(header, kTimeColumn);
    if (timeColumn < 0) {
        error = name + " has no \"time\" column: it is no log of vornhost watch --csv";
        return false;
    }
    const int errorColumn = columnIndex(header, kErrorColumn);
    log = ReadingLog();
    std::vector<int> sources;
    for (LoggedSeries &series : plottedSeries()) {
        const int column = columnIndex(header, series.column);
        if (column >= 0) {
            log.series.push_back(series);
            sources.push_back(column);
        }
    }
    for (size_t r = 1; r < records.size(); ++r) {
        const std::vector<std::string> &row = records[r];
        const std::string where = "line " + std::to_string(lines[r]) + ": ";
        long long ms = 0;
        if (row.size() != header.size()) {
            log.skipped.push_back(where + std::to_string(row.size()) + " columns where the header has " +
                                  std::to_string(header.size()));
            continue;
        }
        if (!parseUtcTime(row[timeColumn], ms)) {
            log.skipped.push_back(where + "'" + row[timeColumn] + "' is no UTC time");
            continue;
        }
        const bool failed = errorColumn >= 0 && !row[errorColumn].empty();
        log.failedRows += failed;
        log.timeMs.push_back(ms);
        log.failed.push_back(failed);
        for (size_t s = 0; s < log.series.size(); ++s)
            log.series[s].values.push_back(failed ? NAN : cellValue(row[sources[s]]));
    }
    return true;
}
