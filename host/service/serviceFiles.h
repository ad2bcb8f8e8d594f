// How the service writes and reads its files in its data folder
// (host/security/serviceFolders.h): the status replaced whole at each poll
// and read while it is replaced, and the daily CSV logs
// (log\control-YYYY-MM-DD.csv) kept `logDays` days.
#pragma once

#include <cstddef>
#include <string>

#include "host/security/serviceFolders.h"

// "...\log\control-2026-12-08.csv" for the date of an ISO 8601 time
// (host/service/dailyLogs.h names them).
std::string serviceLogPath(const std::string &isoTime);

// The second try of a replacement or of a read that met the other.
constexpr unsigned long kReplacedFileRetryMs = 100;
constexpr size_t kReplacedFileMaxBytes = 1 << 20;

// Replaces the file with `text` whole: a reader sees the old text or the new,
// never part of one (a temporary file renamed over it). A reader that holds
// the old file open, sharing it for deletion as readReplacedFile does, does
// not stop the rename where the file system allows that (POSIX semantics);
// elsewhere the rename is tried once more kReplacedFileRetryMs later.
bool replaceFile(const std::string &path, const std::string &text);

// Reads a file that replaceFile replaces meanwhile: opened sharing read,
// write and delete, so that the replacement goes ahead while it is read,
// and tried once more, kReplacedFileRetryMs later, when the open or the read
// fails. False when neither try read it whole (or it holds
// kReplacedFileMaxBytes or more: no status is that long).
bool readReplacedFile(const std::string &path, std::string &text);

// Removes the daily logs due for removal (host/service/dailyLogs.h) on the
// day of `isoTime` when `keepDays` days of them are kept.
void pruneServiceLogs(const std::string &isoTime, int keepDays);
