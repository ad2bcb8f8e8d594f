#include "host/commands/setFanCommand.h"

#include <cstdio>
#include <optional>

#include "core/fanCommand.h"
#include "host/device/deviceAccess.h"
#include "host/device/deviceList.h"
#include "host/device/fanClaim.h"
#include "host/plugin/hostSession.h"
#include "host/process/storedSettings.h"

namespace {

// A loop that drives the fan sets it back at its next poll (the fan is the
// truth): said, not prevented.
void warnWhenClaimed(HMODULE bridge, const DeviceChoice &device, uint8_t commandByte)
{
    const int fan = commandByte - kSetDutyCommand;
    const std::string controller = controllerIdentity(bridge, device);
    if (fanClaimed(controller, fan))
        std::fprintf(stderr,
                     "vornhost: fan %d of %s is driven by vornhost control, which will set the fan back at its next "
                     "poll\n",
                     fan, controller.c_str());
}

int report(const char *result)
{
    std::printf("%s\n", result == nullptr ? "sent" : result);
    return result == nullptr ? 0 : 1;
}

int throughThePlugin(const std::string &pluginPath, const std::string &fan, const std::string &percent)
{
    HostSession session;
    if (!session.load(pluginPath))
        return 1;
    const SetFanPercentageFn setFan = setFanPercentageOf(session.plugin.module);
    if (setFan == nullptr)
        return 1;
    session.start(false); // a command line has no use for error boxes
    // The plug-in sends to the device number its poller read from the
    // settings; before that read it would be device 0, whatever the user
    // stored. The first poll shows the read is done.
    if (!session.waitForFirstPoll()) {
        std::fprintf(stderr, "vornhost: the plug-in's first poll did not come; nothing was sent\n");
        return 1;
    }
    FanCommandBytes command;
    const std::optional<int> stored = storedDeviceNumber();
    if (stored && encodeFanCommand(fan.c_str(), percent.c_str(), command.data()) == nullptr) {
        DeviceChoice device;
        device.number = stored;
        warnWhenClaimed(bridgeLibrary(), device, command[0]);
    }
    char unused[16];
    const int status = report(setFan(unused, fan.c_str(), percent.c_str()));
    session.stop();
    return status;
}

// The plug-in's own checks, texts and bytes (core/fanCommand.h), sent
// straight to the device named, in a turn of vornhost's own.
int toDevice(const DeviceChoice &choice, const std::string &fanText, const std::string &percentText)
{
    DeviceAccess device;
    if (!device.load())
        return 1;
    FanCommandBytes command;
    const char *invalid = encodeFanCommand(fanText.c_str(), percentText.c_str(), command.data());
    // A command that will not be sent waits for no turn.
    ControllerTurn turn = invalid == nullptr ? device.turn() : device.noTurn();
    int deviceNumber = 0;
    if (!selectedDevice(choice, device.bridge(), deviceNumber))
        return 2;
    if (invalid != nullptr)
        return report(invalid);
    if (!turn.taken())
        return report(kFanCommandBusy);
    DeviceChoice chosen = choice;
    if (!chosen.serial)
        chosen.number = deviceNumber;
    warnWhenClaimed(device.bridge(), chosen, command[0]);
    const char *failure = turn.openDevice(deviceNumber);
    if (failure == nullptr)
        failure = turn.send(command.data());
    turn.closeDevice();
    return report(failure);
}

} // namespace

int runSetFan(const std::string &pluginPath, const SetFanOptions &options)
{
    if (options.device.number || options.device.serial)
        return toDevice(options.device, options.fan, options.percent);
    return throughThePlugin(pluginPath, options.fan, options.percent);
}
