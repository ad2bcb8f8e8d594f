#include "host/output/readingTable.h"

#include <cstdio>

namespace {

constexpr int kTableWidth = 72;

// One line of the table: at least kTableWidth wide; on a console exactly
// consoleWidth, cut or padded.
void printLine(const std::string &text, int consoleWidth)
{
    if (consoleWidth > 0) {
        std::string line = text;
        line.resize(static_cast<size_t>(consoleWidth), ' ');
        std::printf("%s\n", line.c_str());
    } else {
        std::printf("%-*s\n", kTableWidth, text.c_str());
    }
}

std::string row(const char *label, int width, const double *values, int count, const char *format)
{
    char cell[32];
    std::snprintf(cell, sizeof cell, "%-13s", label);
    std::string line = cell;
    for (int i = 0; i < count; ++i) {
        char text[16];
        std::snprintf(text, sizeof text, format, values[i]);
        std::snprintf(cell, sizeof cell, " %*s", width, text);
        line += cell;
    }
    return line;
}

template <int N>
std::string fanRow(const char *label, const int (&values)[N])
{
    double asDouble[N];
    for (int i = 0; i < N; ++i)
        asDouble[i] = values[i];
    return row(label, 7, asDouble, N, "%.0f");
}

} // namespace

void printReadingTable(const Reading &reading, int second, const std::string &note, int consoleWidth)
{
    char head[96];
    std::snprintf(head, sizeof head, "VORN  %4ds  %s", second,
                  reading.error.empty() ? "readings ok" : reading.error.c_str());
    printLine(head, consoleWidth);
    if (reading.error.empty()) {
        printLine(row("Digital C", 5, reading.digitalCelsius, kDigitalSensorCount, "%.1f"), consoleWidth);
        printLine(row("Analog C", 5, reading.analogCelsius, kAnalogSensorCount, "%.1f"), consoleWidth);
        printLine("Fan                 0       1       2       3", consoleWidth);
        printLine(fanRow("Duty %", reading.dutyPercent), consoleWidth);
        printLine(fanRow("RPM", reading.rpm), consoleWidth);
        printLine(fanRow("Max RPM", reading.maxRpm), consoleWidth);
        printLine(fanRow("Manual", reading.manual), consoleWidth);
    } else {
        for (int i = 2; i < kReadingTableLines; ++i)
            printLine("", consoleWidth);
    }
    printLine(note, consoleWidth);
}
