#include "host/commands/alarmTestCommand.h"

#include <windows.h>

#include <cstdio>

#include "host/fans/controlConfigLoad.h"
#include "host/process/alarmProgram.h"

int runAlarmTest(const std::string & /*pluginPath*/, const AlarmTestOptions &options)
{
    if (!options.test) {
        std::fprintf(stderr, "vornhost: alarm needs --test\n");
        return 2;
    }
    ControlConfig config;
    if (!loadControlConfig(options.configPath, config))
        return 2;
    if (!config.alarms.program) {
        std::fprintf(stderr, "vornhost: %s: alarms.program: no alarm program configured\n", options.configPath.c_str());
        return 2;
    }
    unsigned long exitCode = 0;
    std::string failure;
    if (!runAlarmProgram(config.alarms, AlarmEvent{}, nullptr, exitCode, failure)) {
        std::fprintf(stderr, "vornhost: %s\n", failure.c_str());
        return 1;
    }
    if (exitCode == STILL_ACTIVE)
        std::printf("vornhost: the alarm program runs on after %lu ms; not waited for\n", kAlarmProgramWaitMs);
    else
        std::printf("vornhost: the alarm program ended with exit code %lu\n", exitCode);
    return 0;
}
