#include "host/plugin/meterReading.h"

#include <cstdlib>

#include "host/plugin/meterTable.h"

namespace {

const MeterInfo *findMeter(const std::vector<MeterInfo> &meters, const char *name)
{
    for (const MeterInfo &m : meters) {
        if (m.name == name)
            return &m;
    }
    return nullptr;
}

// Reads `count` values of one meter; false with the error set when the
// meter answered with a text of its own.
template <class T>
bool readMeterRange(const MeterInfo &meter, int count, T *out, std::string &error)
{
    for (int i = 0; i < count; ++i) {
        char buffer[64];
        const char *text = readMeterText(meter, i, buffer);
        if (text != buffer) {
            error = text ? text : "";
            return false;
        }
        out[i] = static_cast<T>(std::strtod(text, nullptr));
    }
    return true;
}

} // namespace

bool readingFromMeters(const std::vector<MeterInfo> &meters, Reading &out)
{
    const MeterInfo *digital = findMeter(meters, "GetDigitalTemp");
    const MeterInfo *analog = findMeter(meters, "GetAnalogTemp");
    const MeterInfo *duty = findMeter(meters, "GetFanPercentage");
    const MeterInfo *rpm = findMeter(meters, "GetFanRPM");
    const MeterInfo *maxRpm = findMeter(meters, "GetFanMaxRPM");
    const MeterInfo *manual = findMeter(meters, "GetFanManualMode");
    if (!digital || !analog || !duty || !rpm || !maxRpm || !manual)
        return false;
    out = Reading();
    readMeterRange(*digital, kDigitalSensorCount, out.digitalCelsius, out.error) &&
        readMeterRange(*analog, kAnalogSensorCount, out.analogCelsius, out.error) &&
        readMeterRange(*duty, kFanCount, out.dutyPercent, out.error) &&
        readMeterRange(*rpm, kFanCount, out.rpm, out.error) &&
        readMeterRange(*maxRpm, kFanCount, out.maxRpm, out.error) &&
        readMeterRange(*manual, kFanCount, out.manual, out.error);
    return true;
}
