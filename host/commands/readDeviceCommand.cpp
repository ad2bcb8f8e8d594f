#include "host/commands/readDeviceCommand.h"

#include <cstdio>

#include "core/statusFrame.h"
#include "host/device/controllerTurn.h"
#include "host/device/deviceAccess.h"
#include "host/output/readingJson.h"

namespace {

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

int runReadDevice(const std::string &pluginPath, const ReadDeviceOptions &options)
{
    DeviceAccess device;
    if (!device.load(pluginPath))
        return 1;
    // The turn covers a serial number's look-up too: a program that takes
    // turns cannot hide it then.
    ControllerTurn turn;
    int deviceNumber = 0;
    if (!selectedDevice(options.device, device.bridge(), deviceNumber))
        return 2;

    const char *failure = kControllerBusy;
    uint8_t frame[kStatusFrameSize] = {};
    if (turn.taken()) {
        FT_HANDLE handle = nullptr;
        failure = device.open(deviceNumber, &handle);
        if (failure == nullptr) {
            failure = device.readFrame(handle, frame);
            device.close(handle);
        }
    }
    if (options.json) {
        Reading reading;
        readingFromFrame(frame, reading);
        if (failure != nullptr)
            reading.error = failure;
        JsonDocument document;
        document["device"] = deviceNumber;
        addReadingJson(document, reading);
        printJsonLine(document);
    } else if (failure != nullptr) {
        std::printf("Device %d: %s\n", deviceNumber, failure);
    } else {
        std::printf("Device %d: status frame of %d bytes\n\n", deviceNumber, kStatusFrameSize);
        printHalfDegrees("Digital temperatures", frame, kDigitalTempOffset, kDigitalSensorCount);
        printHalfDegrees("Analog temperatures", frame, kAnalogTempOffset, kAnalogSensorCount);
        std::printf("\n");
        printFans(frame);
    }
    return failure == nullptr ? 0 : 1;
}
