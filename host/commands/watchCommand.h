// vornhost watch: the plug-in started as the desktop host starts it and read
// through its meters at an interval, from its first poll on, until Ctrl-C,
// --count readings or --seconds. Shown as a compact table that stays in place
// on a console (the cursor is moved with the console API, which every Windows
// console and Wine's honour), as plain consecutive tables otherwise; or as
// JSON Lines (--json). --csv FILE logs every reading as a row as well.
#pragma once

#include <optional>
#include <string>
#include <tuple>

// Upper bounds of the options: a reading at least once a day
// (kLongestPollIntervalSeconds), a watch (and its fan command) within a
// year. The schedule is kept in 64-bit milliseconds, so no value in range can
// overflow it.
constexpr long kMaxWatchSeconds = 365L * 24 * 60 * 60;
constexpr long kMaxCount = 0x7FFFFFFF;

struct WatchOptions {
    long intervalSeconds = 1;
    long count = 0;   // 0: no limit on readings
    long seconds = 0; // 0: no time limit
    bool json = false;
    std::string csvPath; // empty: no log
    // Seconds into the watch, fan and percent (the plug-in checks those two).
    std::optional<std::tuple<long, std::string, std::string>> setFanAfter;
};

int runWatch(const std::string &pluginPath, const WatchOptions &options);
