// vornhost alarm --test --config FILE: runs the configuration's alarm
// program once with the test event (VORN_EVENT=test), to check it before an
// alarm needs it. Exit 2 when the configuration cannot be used or has no
// alarm program, 1 when the program cannot be started, else 0.
#pragma once

#include <string>

struct AlarmTestOptions {
    std::string configPath;
    bool test = false;
};

int runAlarmTest(const std::string &pluginPath, const AlarmTestOptions &options);
