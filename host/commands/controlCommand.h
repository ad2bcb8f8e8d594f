// vornhost control --config FILE [--json] [--csv FILE] [--count N] [--dry-run]:
// drives the fans the configuration names (host/fans/controlConfigFile.h)
// without the plug-in, in the control run the service runs too
// (host/fans/controlRun.h): every interval a turn of its own on the
// controller, each fan's duty decided from its frame and sent when it
// changed, one line printed (host/fans/controlLoop.h). Fans it does not name
// are left alone. At the end (--count, Ctrl-C, Ctrl-Break, the console
// closed, log-off, shutdown: host/process/stopRequest.h) every fan it drives
// gets its exit duty before the program ends.
//
// A configuration that cannot be used ends it with the place and the reason
// on stderr and exit code 2 before anything is sent; so does a fan that
// another loop (or the service) has claimed.
#pragma once

#include <string>

struct ControlOptions {
    std::string configPath;
    bool json = false;
    std::string csvPath; // empty: no log
    long count = 0;      // 0: until stopped
    bool dryRun = false; // decide and print, send nothing
    int httpPort = 0;    // the dashboard's; 0: the configuration's, if any
};

int runControl(const std::string &pluginPath, const ControlOptions &options);
