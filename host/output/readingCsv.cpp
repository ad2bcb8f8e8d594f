#include "host/output/readingCsv.h"

#include <cstdio>

#include "control/sensorName.h"
#include "host/output/logColumns.h"

namespace {

// A number cell after its comma; empty when the reading failed.
std::string csvCell(const Reading &reading, const char *format, double value)
{
    char cell[32] = "";
    if (reading.error.empty())
        std::snprintf(cell, sizeof cell, format, value);
    return std::string(",") + cell;
}

} // namespace

std::string csvHeader()
{
    std::string header = kTimeColumn + csvTemperatureHeader();
    for (int fan = 0; fan < kFanCount; ++fan) {
        for (const FanColumn kind : {FanColumn::Duty, FanColumn::Rpm, FanColumn::MaxRpm, FanColumn::Manual})
            header += "," + fanColumn(fan, kind);
    }
    return header + "," + kErrorColumn;
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
    for (int sensor = 0; sensor < kSensorCount; ++sensor)
        header += "," + sensorName(sensor);
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
