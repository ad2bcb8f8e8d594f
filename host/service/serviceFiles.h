// Where the service keeps its files: %ProgramData%\VORN\, a folder that only
// administrators and SYSTEM may write, with the configuration the service
// runs (fan-curve.json), its status after each poll (status.json) and its
// daily CSV logs (log\control-YYYY-MM-DD.csv).
#pragma once

#include <string>

// "C:\ProgramData\VORN" and the files in it.
std::string serviceFolder();
std::string serviceConfigPath();
std::string serviceStatusPath();
std::string serviceLogFolder();
// "...\log\control-2026-12-08.csv" for the date of an ISO 8601 time.
std::string serviceLogPath(const std::string &isoTime);

// Makes the folder and its log folder, writable by administrators and
// SYSTEM only, readable by everyone; prints the reason and returns false
// when that fails.
bool makeServiceFolders();

// Replaces the file with `text` whole: a reader sees the old text or the new,
// never part of one (a temporary file, then MoveFileEx REPLACE_EXISTING).
bool replaceFile(const std::string &path, const std::string &text);

// Removes the daily logs older than `keepDays` days before the date of
// `isoTime` (their names tell their dates).
void pruneServiceLogs(const std::string &isoTime, int keepDays);
