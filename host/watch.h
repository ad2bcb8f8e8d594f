// vornhost watch: the plug-in started as the desktop host starts it, every
// meter printed each second as a compact table (updated in place on a
// terminal, plain lines otherwise), until Ctrl-C or --seconds run out.
#pragma once

#include <string>

struct WatchOptions {
    int seconds = 0;          // 0: until Ctrl-C
    int setFanAfter = -1;     // seconds into the watch; -1: never
    std::string fan, percent; // the fan command to send then
};

int runWatch(const std::string &pluginPath, const WatchOptions &options);
