#include "host/commands/readDeviceCommand.h"

#include <cstdio>

#include "core/statusFrame.h"
#include "host/device/deviceAccess.h"
#include "host/output/readingJson.h"

namespace {

void printHalfDegrees(const char *label, const double *celsius, int count)
{
    std::printf("%-22s", label);
    for (int i = 0; i < count; ++i)
        std::printf(" %5.1f", celsius[i]);
    std::printf("\n");
}

void printFanRow(const char *label, const int *values)
{
    std::printf("%-22s", label);
    for (int fan = 0; fan < kFanCount; ++fan)
        std::printf(" %7d", values[fan]);
    std::printf("\n");
}

void printReading(const Reading &reading)
{
    printHalfDegrees("Digital temperatures", reading.digitalCelsius, kDigitalSensorCount);
    printHalfDegrees("Analog temperatures", reading.analogCelsius, kAnalogSensorCount);
    std::printf("\n");
    const int fans[kFanCount] = {0, 1, 2, 3};
    printFanRow("Fan", fans);
    printFanRow("Duty %", reading.dutyPercent);
    printFanRow("Maximum RPM", reading.maxRpm);
    printFanRow("Manual mode", reading.manual);
}

} // namespace

int runReadDevice(const std::string & /*pluginPath*/, const ReadDeviceOptions &options)
{
    DeviceAccess device;
    if (!device.load())
        return 1;
    // The turn covers a serial number's look-up too: a program that takes
    // turns cannot hide it then.
    ControllerTurn turn = device.turn();
    int deviceNumber = 0;
    if (!selectedDevice(options.device, device.bridge(), deviceNumber))
        return 2;

    uint8_t frame[kStatusFrameSize] = {};
    const char *failure = device.exchangeStatus(turn, deviceNumber, frame);
    Reading reading;
    readingFromFrame(frame, reading);
    if (options.json) {
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
        printReading(reading);
    }
    return failure == nullptr ? 0 : 1;
}
