// The words around a chart of a log: where the picture goes beside the log,
// and its title, which `vornhost plot` also prints.
#pragma once

#include <string>

#include "host/chart/readingLog.h"

// "log.csv" -> "log.svg" (".CSV" too); a name without ".csv" gets ".svg" added.
std::string svgPathFor(const std::string &csvPath);

// "2026-12-08 06:39:40.031 to 06:40:09.031 UTC" (the second date only when
// it differs) for a log with readings.
std::string logSpanText(const ReadingLog &log);
// "30 readings, 2 failed".
std::string logCountText(const ReadingLog &log);

// "log.csv: SPAN, COUNT": the log's file name (Latin-1, as the file system
// gave it, in UTF-8), its span and its count.
std::string chartTitle(const std::string &csvPath, const ReadingLog &log);
