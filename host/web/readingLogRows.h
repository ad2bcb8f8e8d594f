// The dashboard's memory of the last hour as a ReadingLog
// (host/chart/readingLog.h), the table `vornhost plot` draws from a CSV log:
// a row added at each poll, the rows of an hour ago dropped, and the last
// minutes cut out of it (or out of a day's log read back) for the history
// and the chart.
#pragma once

#include <vector>

#include "host/chart/readingLog.h"
#include "host/fans/fanOutcome.h"
#include "host/output/reading.h"

// Adds one poll at `timeMs` (UTC milliseconds since 1970) to every series of
// the log, a new log getting every plotted series (plottedSeries): the
// temperatures and frame duties, NaN where the reading failed; each fan's
// decided duty from `fans`, NaN for a fan without a decision.
void appendPoll(ReadingLog &log, long long timeMs, const Reading &reading, const std::vector<FanOutcome> &fans);

// Removes the rows older than `oldestMs`; a row at exactly `oldestMs` stays.
void dropBefore(ReadingLog &log, long long oldestMs);
// Removes the rows newer than `newestMs` (after the clock was set back).
void dropAfter(ReadingLog &log, long long newestMs);

// Every n-th row from the first, n (in `every`) the smallest that leaves at
// most `rows`.
ReadingLog everyNthRow(ReadingLog log, size_t rows, size_t &every);

// The rows of the last `minutes` before `nowMs`: those with a time after
// nowMs - minutes * 60000 (that instant itself excluded), with their values.
ReadingLog lastMinutes(const ReadingLog &log, long long nowMs, int minutes);
