// Where the service keeps its files: VORN\ in the system's ProgramData
// folder (its known folder, not the environment's %ProgramData%), which
// only SYSTEM, the administrators and the service's account may write
// (host/service/dataFolderGuard.h), with the configuration the service
// runs (fan-curve.json), its status after each poll (status.json) and its
// daily CSV logs (log\control-YYYY-MM-DD.csv).
#pragma once

#include <cstddef>
#include <string>

// "C:\ProgramData\VORN" and the files in it; empty, all of them, when the
// system does not tell where ProgramData is.
std::string serviceFolder();
std::string serviceConfigPath();
std::string serviceStatusPath();
std::string serviceLogFolder();
// "...\log\control-2026-12-08.csv" for the date of an ISO 8601 time.
std::string serviceLogPath(const std::string &isoTime);

// Makes the folder and its log folder, when missing, with the descriptor
// for a service that runs as `account` (host/service/writeCheck.h); prints
// the reason and returns false when that fails.
bool makeServiceFolders(const std::string &account);

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

// Removes the daily logs older than `keepDays` days before the date of
// `isoTime` (their names tell their dates).
void pruneServiceLogs(const std::string &isoTime, int keepDays);
