// The dashboard's /api/history?minutes=N: the polls of the last N minutes,
// from the hour the server keeps in memory or from the day's CSV log read
// back, as one JSON document:
//   {"minutes": N, "source": "memory" | "log",
//    "polls": [{"time": "2026-12-08T06:39:40.031Z", "error": false,
//               "temperatures": {"digital0": 41.5, ..., "analog5": null},
//               "duties": {"fan0": 40, ...}, "targets": {"fan0": 42, ...}}]}
// A value the row does not have (a failed reading, an empty cell, a fan
// without a decision) is null; a column the log does not have is left out.
#pragma once

#include <string>

#include "host/chart/readingLog.h"
#include "host/output/jsonOutput.h"

// The most the history reaches back: a day, what a daily log holds.
constexpr int kHistoryMostMinutes = 1440;

// Every row of `log` (cut to the minutes already: host/web/readingLogRows.h).
JsonDocument historyJson(const ReadingLog &log, int minutes, const std::string &source);

// The query's minutes: a whole number from 1 to kHistoryMostMinutes, digits
// only. Anything else is refused with the reason in `error`.
bool parseHistoryMinutes(const std::string &text, int &minutes, std::string &error);
