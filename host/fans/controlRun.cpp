#include "host/fans/controlRun.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "control/clockJump.h"
#include "control/pollSchedule.h"
#include "host/output/utcTime.h"
#include "host/process/clocks.h"
#include "host/process/pollLoop.h"
#include "host/process/storedSettings.h"

namespace {

// Until the next poll is due, or a stop is requested, or the computer
// resumed (then the loop polls at once and sends every duty again). Windows
// says so to the window or the service; a wait's time-out does not count the
// time asleep, so the wait goes in slices of at most a second, after each of
// which the clocks tell a sleep the message did not.
void waitForPoll(PollSchedule &schedule, HANDLE resumed, ClockJump &sleep, ControlLoop &loop)
{
    const HANDLE wakes[] = {stopEvent(), resumed};
    const DWORD count = resumed != nullptr ? 2 : 1;
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

// Polls until a stop or `count` polls (0: no limit), then the exit duties.
void runControlLoop(const ControlConfig &config, ControlLoop &loop, long long count, HANDLE resumed)
{
    PollSchedule schedule(static_cast<uint64_t>(std::llround(config.interval * 1000)), tickCountMs);
    ClockJump sleep(tickCountMs, awakeMs);
    const auto poll = [&] {
        loop.poll(timestampNow());
        return true;
    };
    if (runPolls(schedule, PollLimits{count, 0}, poll, [&] { waitForPoll(schedule, resumed, sleep, loop); }) ==
        PollLoopEnd::Count)
        requestStop(StopCause::Count);
    loop.finish(stopRequested());
}

} // namespace

bool claimFans(const ControlConfig &config, DeviceAccess &access, const DeviceChoice &device, FanClaims &claims,
               std::string &refusal)
{
    if (!device.number && !device.serial)
        return true;
    std::string controller;
    {
        const ControllerTurn turn = access.turn();
        controller = controllerIdentity(access.bridge(), device);
    }
    std::vector<int> fans;
    for (const FanCurveConfig &fan : config.fans)
        fans.push_back(static_cast<int>(fan.fan));
    return claims.claim(controller, fans, refusal);
}

int runControlWith(ControlRunSide &side, const ControlRunOptions &options)
{
    ControlConfig config;
    if (!side.readConfig(config))
        return 2;
    DeviceAccess access;
    if (!side.loadBridge(access))
        return 1;
    const DeviceChoice device = deviceOf(config);
    FanClaims claims;
    if (const std::optional<int> exitCode = side.claim(config, access, device, claims))
        return *exitCode;
    ControlReport report(config, options.json, options.dryRun);
    ControlLoop loop(config, report, access, device, options.unnamed, options.dryRun);
    if (!side.ready(config, report, loop))
        return 1;
    runControlLoop(config, loop, options.count, side.resumed());
    return 0;
}
