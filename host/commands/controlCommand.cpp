#include "host/commands/controlCommand.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "control/clockJump.h"
#include "host/device/fanClaim.h"
#include "host/fans/controlConfigFile.h"
#include "host/fans/controlLoop.h"
#include "host/output/utcTime.h"
#include "host/plugin/hostSession.h"
#include "host/plugin/stopRequest.h"
#include "host/plugin/stopWindow.h"
#include "host/plugin/storedSettings.h"

namespace {

const char kNoDevice[] =
    "vornhost: no device named: the configuration has no \"device\" and no device number is stored; "
    "name one or configure the plug-in";

// The configuration's device, else the plug-in's stored device number, else
// none.
DeviceChoice deviceOf(const ControlConfig &config)
{
    DeviceChoice device;
    device.command = "control";
    if (config.device && config.device->serial)
        device.serial = config.device->serial;
    else if (config.device && config.device->number)
        device.number = static_cast<int>(*config.device->number);
    else
        device.number = storedDeviceNumber();
    return device;
}

// Claims every fan the configuration drives, in a turn on the controller so
// that its serial number is not hidden by a program that takes turns. False,
// with the fan named, when another loop drives one of them.
bool claimFans(const ControlConfig &config, DeviceAccess &access, const DeviceChoice &device, FanClaims &claims)
{
    if (!device.number && !device.serial)
        return true;
    std::string controller;
    {
        const ControllerTurn turn;
        controller = controllerIdentity(access.bridge(), device);
    }
    std::vector<int> fans;
    for (const FanCurveConfig &fan : config.fans)
        fans.push_back(static_cast<int>(fan.fan));
    int refused = 0;
    if (claims.claim(controller, fans, refused))
        return true;
    std::fprintf(stderr, "vornhost: fan %d of %s is driven by another vornhost control already; nothing was sent\n",
                 refused, controller.c_str());
    return false;
}

uint64_t awakeMs()
{
    ULONGLONG hundredsOfNs = 0;
    QueryUnbiasedInterruptTime(&hundredsOfNs);
    return hundredsOfNs / 10000;
}

// Until the next poll is due, or a stop is requested, or the computer
// resumed (then the loop polls at once and sends every duty again). Windows
// says so to the window; a wait's time-out does not count the time asleep,
// so the wait goes in slices of at most a second, after each of which the
// clocks tell a sleep the message did not.
void waitForPoll(PollSchedule &schedule, const StopWindow &window, ClockJump &sleep, ControlLoop &loop)
{
    const HANDLE wakes[] = {stopEvent(), window.resumed()};
    const DWORD count = window.resumed() != nullptr ? 2 : 1;
    for (uint64_t left = schedule.waitMs(); left > 0; left = schedule.waitMs()) {
        const DWORD woken =
            WaitForMultipleObjects(count, wakes, FALSE, static_cast<DWORD>(std::min<uint64_t>(left, 1000)));
        if (woken == WAIT_OBJECT_0)
            return;
        if (woken == WAIT_OBJECT_0 + 1 || sleep.jumped()) {
            loop.reapplyAll();
            schedule.resume();
            return;
        }
    }
}

} // namespace

int runControl(const std::string & /*pluginPath*/, const ControlOptions &options)
{
    ControlConfig config;
    ConfigError error;
    if (!readControlConfig(options.configPath, config, error)) {
        std::fprintf(stderr, "vornhost: %s: %s\n", options.configPath.c_str(),
                     consoleText(configErrorText(error)).c_str());
        return 2;
    }
    DeviceAccess access;
    if (!access.load())
        return 1;
    const DeviceChoice device = deviceOf(config);
    FanClaims claims;
    if (!options.dryRun && !claimFans(config, access, device, claims))
        return 2;
    ControlReport report(config, options.json, options.dryRun);
    if (!options.csvPath.empty() && !report.openCsv(options.csvPath))
        return 1;
    ControlLoop loop(config, report, access, device, kNoDevice, options.dryRun);

    watchConsoleStop();
    StopWindow window;
    if (!window.start())
        std::fprintf(stderr, "vornhost: no window for log-off, shutdown and resume; Ctrl-C still ends the loop\n");
    report.begin(options.configPath);

    PollSchedule schedule(static_cast<uint64_t>(std::llround(config.interval * 1000)), tickCountMs);
    ClockJump sleep(tickCountMs, awakeMs);
    for (long long n = 0; stopRequested() == StopCause::None; ++n) {
        loop.poll(timestampNow());
        if (options.count > 0 && n + 1 >= options.count) {
            requestStop(StopCause::Count);
            break;
        }
        schedule.next();
        waitForPoll(schedule, window, sleep, loop);
    }
    loop.finish(stopRequested());
    return 0;
}
