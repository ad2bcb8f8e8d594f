#include "host/fanCommandCli.h"

#include <cstdio>
#include <cstring>

#include "core/meterCore.h"
#include "core/statusFrame.h"
#include "core/textToLong.h"
#include "host/deviceAccess.h"
#include "host/deviceList.h"
#include "host/hostSession.h"

namespace {

// The plug-in's own texts, as its fan command returns them. Its copies live
// in controller/deviceConnection.cpp (the refused open) and
// controller/fanCommand.cpp (the other two), which vornhost does not link;
// the fan index message comes from core/meterCore, which it does.
// The refused open is also what the poller leaves pending after a cycle
// that found the device busy; the fan command returns it then.
const char kOpenFailed[] = "FT_OpenEx: Can't open requested device.";
const char kInvalidPercentage[] = "Invalid percentage";
const char kFanCommandNotSent[] = "FT_Write: Can't send SER_SET command.";

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
    std::string error;
    SetFanPercentageFn setFan =
        asFunction<SetFanPercentageFn>(resolveExport(session.plugin.module, "SetFanPercentage", 12, error));
    if (setFan == nullptr) {
        std::fprintf(stderr, "vornhost: %s\n", error.c_str());
        return 1;
    }
    session.start(false); // a command line has no use for error boxes
    // The plug-in sends to the device number its poller read from the
    // settings; before that read it would be device 0, whatever the user
    // stored. The first poll shows the read is done.
    if (!session.waitForFirstPoll()) {
        std::fprintf(stderr, "vornhost: the plug-in's first poll did not come; nothing was sent\n");
        return 1;
    }
    const DWORD start = GetTickCount();
    char unused[16];
    const char *result = setFan(unused, fan.c_str(), percent.c_str());
    while (result != nullptr && std::strcmp(result, kOpenFailed) == 0 && GetTickCount() - start < kCycleLengthMs) {
        session.pumpMessages(kRetryPauseMs);
        result = setFan(unused, fan.c_str(), percent.c_str());
    }
    const int status = report(result);
    session.stop();
    return status;
}

int toDevice(const std::string &pluginPath, const DeviceChoice &choice, const std::string &fanText,
             const std::string &percentText)
{
    DeviceAccess device;
    if (!device.load(pluginPath))
        return 1;
    int deviceNumber = 0;
    if (!selectedDevice(choice, device.bridge(), deviceNumber))
        return 2;
    // The plug-in's own checks and texts.
    const int32_t fan = textToLong(fanText.c_str());
    const int32_t percent = textToLong(percentText.c_str());
    if (fan < 0 || fan >= kFanCount)
        return report(kInvalidFanIndex);
    if (percent < 0 || percent > 100)
        return report(kInvalidPercentage);
    FT_HANDLE handle = nullptr;
    const char *failure = device.open(deviceNumber, &handle);
    if (failure != nullptr)
        return report(failure);
    const uint8_t command[2] = {static_cast<uint8_t>(0x11 + fan), static_cast<uint8_t>(percent)};
    const bool sent = device.write(handle, command, sizeof command);
    device.close(handle);
    return report(sent ? nullptr : kFanCommandNotSent);
}

} // namespace

int runSetFan(const std::string &pluginPath, const SetFanOptions &options)
{
    if (options.device.number || options.device.serial)
        return toDevice(pluginPath, options.device, options.fan, options.percent);
    return throughThePlugin(pluginPath, options.fan, options.percent);
}
