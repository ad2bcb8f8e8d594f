// vornhost control --config FILE [--json] [--csv FILE] [--count N] [--dry-run]:
// drives the fans the configuration names (host/fans/controlConfigFile.h)
// from the plug-in's readings. It starts its own plug-in as watch does, and
// once its first poll is in, every interval: takes a reading from the
// meters and hands it to the loop (host/fans/controlLoop.h), which decides
// each fan's duty, sends those that changed and prints one line. Fans it
// does not name are left alone. At the end (--count, Ctrl-C, Ctrl-Break, the
// console closed, log-off, shutdown: host/process/stopRequest.h) every fan it
// drives gets its exit duty before the program ends.
//
// A configuration that cannot be used ends it with the place and the reason
// on stderr and exit code 2 before the plug-in is even loaded.
#pragma once

#include <string>

struct ControlOptions {
    std::string configPath;
    bool json = false;
    std::string csvPath; // empty: no log
    long count = 0;      // 0: until stopped
    bool dryRun = false; // decide and print, send nothing
};

int runControl(const std::string &pluginPath, const ControlOptions &options);
