#include "host/readings.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>

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
        char buffer[64] = {};
        char parameter[16];
        std::snprintf(parameter, sizeof parameter, "%d", i);
        const char *text = meter.function(buffer, parameter);
        if (text != buffer) {
            error = text ? text : "";
            return false;
        }
        out[i] = static_cast<T>(std::strtod(text, nullptr));
    }
    return true;
}

// A number cell after its comma; empty when the reading failed.
std::string csvCell(const Reading &reading, const char *format, double value)
{
    char cell[32] = "";
    if (reading.error.empty())
        std::snprintf(cell, sizeof cell, format, value);
    return std::string(",") + cell;
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

void readingFromFrame(const uint8_t *frame, Reading &out)
{
    out = Reading();
    for (int i = 0; i < kDigitalSensorCount; ++i)
        out.digitalCelsius[i] = frameByte(frame, kDigitalTempOffset + i) * 0.5;
    for (int i = 0; i < kAnalogSensorCount; ++i)
        out.analogCelsius[i] = frameByte(frame, kAnalogTempOffset + i) * 0.5;
    int32_t maxRpm[kFanCount];
    deriveMaxRpm(frame, maxRpm);
    for (int fan = 0; fan < kFanCount; ++fan) {
        const int8_t dutyByte = frameByte(frame, kFanDutyOffset + fan);
        out.dutyPercent[fan] = 2 * dutyByte;
        out.maxRpm[fan] = maxRpm[fan];
        out.rpm[fan] = fanRpmFromDuty(dutyByte, maxRpm[fan]); // as GetFanRPM computes it
        out.manual[fan] = frameByte(frame, kManualModeOffset + fan);
    }
}

void addReadingJson(JsonDocument &object, const Reading &reading)
{
    if (!reading.error.empty()) {
        object["error"] = jsonText(reading.error);
        return;
    }
    object["error"] = nullptr;
    auto temperatures = [](const double *celsius, int count) {
        JsonDocument list = JsonDocument::array();
        for (int i = 0; i < count; ++i)
            list.push_back({{"sensor", i}, {"celsius", celsius[i]}});
        return list;
    };
    object["digitalTemp"] = temperatures(reading.digitalCelsius, kDigitalSensorCount);
    object["analogTemp"] = temperatures(reading.analogCelsius, kAnalogSensorCount);
    JsonDocument &fans = object["fans"] = JsonDocument::array();
    for (int fan = 0; fan < kFanCount; ++fan)
        fans.push_back({{"fan", fan},
                        {"dutyPercent", reading.dutyPercent[fan]},
                        {"rpm", reading.rpm[fan]},
                        {"maxRpm", reading.maxRpm[fan]},
                        {"manual", reading.manual[fan]}});
}

std::string csvHeader()
{
    std::string header = "time" + csvTemperatureHeader();
    for (int fan = 0; fan < kFanCount; ++fan) {
        const std::string f = "fan" + std::to_string(fan);
        header += "," + f + "_duty," + f + "_rpm," + f + "_max_rpm," + f + "_manual";
    }
    return header + ",error";
}

std::string csvRow(const std::string &time, const Reading &reading)
{
    std::string row = csvField(time) + csvTemperatureCells(reading);
    for (int fan = 0; fan < kFanCount; ++fan) {
        row += csvCell(reading, "%.0f", reading.dutyPercent[fan]);
        row += csvCell(reading, "%.0f", reading.rpm[fan]);
        row += csvCell(reading, "%.0f", reading.maxRpm[fan]);
        row += csvCell(reading, "%.0f", reading.manual[fan]);
    }
    return row + "," + csvField(reading.error);
}

std::string csvTemperatureHeader()
{
    std::string header;
    for (int i = 0; i < kDigitalSensorCount; ++i)
        header += ",digital" + std::to_string(i);
    for (int i = 0; i < kAnalogSensorCount; ++i)
        header += ",analog" + std::to_string(i);
    return header;
}

std::string csvTemperatureCells(const Reading &reading)
{
    std::string cells;
    for (double c : reading.digitalCelsius)
        cells += csvCell(reading, "%.1f", c);
    for (double c : reading.analogCelsius)
        cells += csvCell(reading, "%.1f", c);
    return cells;
}

std::string csvField(const std::string &text)
{
    if (text.find_first_of(",\"\r\n") == std::string::npos)
        return text;
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"')
            quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

std::string timestampNow()
{
    SYSTEMTIME t;
    GetSystemTime(&t);
    char text[32];
    std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02u.%03uZ", t.wYear, t.wMonth, t.wDay, t.wHour,
                  t.wMinute, t.wSecond, t.wMilliseconds);
    return text;
}
