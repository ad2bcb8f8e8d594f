// The service's daily CSV logs by their names, which tell their dates
// ("control-2026-12-08.csv"), and which of them have been kept long enough.
// Platform-free: the service's files (host/service/serviceFiles.h) find,
// write and remove them.
#pragma once

#include <string>

// The log of the day of an ISO 8601 time: "control-2026-12-08.csv".
std::string dailyLogName(const std::string &isoTime);

// What every daily log's name matches, for a search of the log folder.
std::string dailyLogPattern();

// Whether the log named `fileName` is due for removal on the day of
// `isoTime` when `keepDays` days of logs are kept, that day's included: with
// 7, on 2026-12-08 the logs of 2026-12-02 to 2026-12-08 stay and that of
// 2026-12-01 goes. False for a name or a time that tells no date.
bool dailyLogExpired(const std::string &fileName, const std::string &isoTime, int keepDays);
