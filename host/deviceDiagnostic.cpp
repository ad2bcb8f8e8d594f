#include "host/deviceDiagnostic.h"

#include <windows.h>

#include <cstdio>

#include "core/statusFrame.h"
#include "host/pluginLoader.h"

namespace {

using CloseFn = decltype(&FT_Close);

void printHalfDegrees(const char *label, const uint8_t *frame, int offset, int count)
{
    std::printf("%-22s", label);
    for (int i = 0; i < count; ++i)
        std::printf(" %5.1f", frameByte(frame, offset + i) * 0.5);
    std::printf("\n");
}

void printFans(const uint8_t *frame)
{
    int32_t maxRpm[kFanCount];
    deriveMaxRpm(frame, maxRpm);
    std::printf("%-22s", "Fan");
    for (int fan = 0; fan < kFanCount; ++fan)
        std::printf(" %7d", fan);
    std::printf("\n%-22s", "Duty %");
    for (int fan = 0; fan < kFanCount; ++fan)
        std::printf(" %7d", 2 * frameByte(frame, kFanDutyOffset + fan));
    std::printf("\n%-22s", "Maximum RPM");
    for (int fan = 0; fan < kFanCount; ++fan)
        std::printf(" %7d", maxRpm[fan]);
    std::printf("\n%-22s", "Manual mode");
    for (int fan = 0; fan < kFanCount; ++fan)
        std::printf(" %7d", frameByte(frame, kManualModeOffset + fan));
    std::printf("\n");
}

} // namespace

int runReadDevice(const std::string &pluginPath, int deviceNumber)
{
    Plugin plugin;
    std::string error;
    if (!loadPlugin(pluginPath.c_str(), plugin, error)) {
        std::fprintf(stderr, "vornhost: %s\n", error.c_str());
        return 1;
    }
    OpenConnectionFn openConnection =
        asFunction<OpenConnectionFn>(resolveExport(plugin.module, "openConnection", 8, error));
    ReadFromVornFn readFromVorn = asFunction<ReadFromVornFn>(resolveExport(plugin.module, "readFromVorn", 8, error));
    // The bridge library the plug-in itself loaded; close is its ordinal 2.
    HMODULE bridge = GetModuleHandleA("FTD2XX.dll");
    CloseFn ftClose = bridge ? asFunction<CloseFn>(GetProcAddress(bridge, MAKEINTRESOURCEA(2))) : nullptr;
    if (openConnection == nullptr || readFromVorn == nullptr || ftClose == nullptr) {
        std::fprintf(stderr, "vornhost: %s\n", ftClose ? error.c_str() : "FTD2XX.dll has no close operation");
        unloadPlugin(plugin);
        return 1;
    }

    void *handle = nullptr;
    const char *failure = openConnection(deviceNumber, &handle);
    uint8_t frame[kStatusFrameSize] = {};
    if (failure == nullptr) {
        failure = readFromVorn(handle, frame);
        ftClose(handle);
    }
    int status = 0;
    if (failure != nullptr) {
        std::printf("Device %d: %s\n", deviceNumber, failure);
        status = 1;
    } else {
        std::printf("Device %d: status frame of %d bytes\n\n", deviceNumber, kStatusFrameSize);
        printHalfDegrees("Digital temperatures", frame, kDigitalTempOffset, kDigitalSensorCount);
        printHalfDegrees("Analog temperatures", frame, kAnalogTempOffset, kAnalogSensorCount);
        std::printf("\n");
        printFans(frame);
    }
    unloadPlugin(plugin);
    return status;
}
