#include "host/web/readingLogRows.h"

#include <algorithm>
#include <cmath>

#include "control/sensorName.h"
#include "host/output/logColumns.h"

namespace {

// The value of one column at a poll, by the column's name, so that a log
// with only some of the columns gets the right ones.
double pollValue(const std::string &column, const Reading &reading, const std::vector<FanOutcome> &fans)
{
    const bool failed = !reading.error.empty();
    if (const std::optional<int> sensor = sensorNumber(column)) {
        if (failed)
            return NAN;
        return *sensor < kDigitalSensorCount ? reading.digitalCelsius[*sensor]
                                             : reading.analogCelsius[*sensor - kDigitalSensorCount];
    }
    int fan = 0;
    FanColumn kind = FanColumn::Duty;
    if (!parseFanColumn(column, fan, kind))
        return NAN;
    if (kind == FanColumn::Duty)
        return failed ? NAN : reading.dutyPercent[fan];
    if (kind == FanColumn::Target) {
        for (const FanOutcome &outcome : fans) {
            if (outcome.decision.fan == fan)
                return outcome.decision.target;
        }
    }
    return NAN;
}

// Keeps the rows for which `keep(row, time)` holds, in their order.
template <typename Keep>
void keepRows(ReadingLog &log, Keep keep)
{
    size_t kept = 0;
    log.failedRows = 0;
    for (size_t row = 0; row < log.timeMs.size(); ++row) {
        if (!keep(row, log.timeMs[row]))
            continue;
        const bool failed = row < log.failed.size() && log.failed[row];
        log.timeMs[kept] = log.timeMs[row];
        if (kept < log.failed.size())
            log.failed[kept] = failed;
        for (LoggedSeries &series : log.series) {
            if (row < series.values.size())
                series.values[kept] = series.values[row];
        }
        log.failedRows += failed;
        ++kept;
    }
    log.timeMs.resize(kept);
    log.failed.resize(kept);
    for (LoggedSeries &series : log.series)
        series.values.resize(kept, NAN);
}

} // namespace

void appendPoll(ReadingLog &log, long long timeMs, const Reading &reading, const std::vector<FanOutcome> &fans)
{
    if (log.series.empty() && log.timeMs.empty())
        log.series = plottedSeries();
    const bool failed = !reading.error.empty();
    log.timeMs.push_back(timeMs);
    log.failed.push_back(failed);
    log.failedRows += failed;
    for (LoggedSeries &series : log.series)
        series.values.push_back(pollValue(series.column, reading, fans));
}

void dropBefore(ReadingLog &log, long long oldestMs)
{
    keepRows(log, [oldestMs](size_t, long long timeMs) { return timeMs >= oldestMs; });
}

void dropAfter(ReadingLog &log, long long newestMs)
{
    keepRows(log, [newestMs](size_t, long long timeMs) { return timeMs <= newestMs; });
}

ReadingLog everyNthRow(ReadingLog log, size_t rows, size_t &every)
{
    every = rows == 0 ? 1 : std::max<size_t>(1, (log.timeMs.size() + rows - 1) / rows);
    const size_t step = every;
    keepRows(log, [step](size_t row, long long) { return row % step == 0; });
    return log;
}

ReadingLog lastMinutes(const ReadingLog &log, long long nowMs, int minutes)
{
    ReadingLog cut = log;
    const long long after = nowMs - static_cast<long long>(minutes) * 60000;
    keepRows(cut, [after](size_t, long long timeMs) { return timeMs > after; });
    return cut;
}
