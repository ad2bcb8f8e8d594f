#include "host/commands/controlCommand.h"

#include <cstdio>

#include "host/fans/controlConfigLoad.h"
#include "host/fans/controlRun.h"
#include "host/process/stopRequest.h"
#include "host/process/stopWindow.h"

namespace {

const char kNoDevice[] =
    "vornhost: no device named: the configuration has no \"device\" and no device number is stored; "
    "name one or configure the plug-in";

} // namespace

int runControl(const std::string & /*pluginPath*/, const ControlOptions &options)
{
    ControlConfig config;
    if (!loadControlConfig(options.configPath, config))
        return 2;
    DeviceAccess access;
    if (!access.load())
        return 1;
    const DeviceChoice device = deviceOf(config);
    FanClaims claims;
    std::string refusal;
    if (!options.dryRun && !claimFans(config, access, device, claims, refusal)) {
        std::fprintf(stderr, "vornhost: %s; nothing was sent\n", refusal.c_str());
        return 2;
    }
    ControlReport report(config, options.json, options.dryRun);
    if (!options.csvPath.empty() && !report.openCsv(options.csvPath))
        return 1;
    ControlLoop loop(config, report, access, device, kNoDevice, options.dryRun);

    watchConsoleStop();
    StopWindow window;
    if (!window.start())
        std::fprintf(stderr, "vornhost: no window for log-off, shutdown and resume; Ctrl-C still ends the loop\n");
    report.begin(options.configPath);

    runControlLoop(config, loop, options.count, window.resumed());
    return 0;
}
