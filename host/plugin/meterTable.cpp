#include "host/plugin/meterTable.h"

#include <cstring>
#include <string>

const char *readMeterText(const MeterInfo &meter, int index, char buffer[64])
{
    char parameter[16];
    std::snprintf(parameter, sizeof parameter, "%d", index);
    std::memset(buffer, 0, 64);
    return meter.function(buffer, parameter);
}

void printIdentity(FILE *out, const Plugin &plugin, const std::vector<MeterInfo> &meters)
{
    static const char *const labels[] = {"Name", "Author", "Version", "Created", "Updated", "Requires", "Contact"};
    for (unsigned i = 0; i < 7; ++i)
        std::fprintf(out, "%-9s %s\n", labels[i], plugin.getinfo(i));
    std::fprintf(out, "%-9s %d\n", "Type", plugin.dlltype());
    std::fprintf(out, "\nMeter functions:\n");
    for (const MeterInfo &m : meters)
        std::fprintf(out, "  %-17s %s\n", m.name.c_str(), m.prompt.c_str());
}

void printMeterTable(FILE *out, const std::vector<MeterInfo> &meters)
{
    constexpr int kPerRow = 15;
    char buffer[64];
    for (const MeterInfo &m : meters) {
        const int count = m.high - m.low + 1;
        if (count <= 0) {
            std::fprintf(out, "%-17s (no index range in its prompt)\n", m.name.c_str());
            continue;
        }
        if (count <= 8) {
            std::fprintf(out, "%-17s", m.name.c_str());
            for (int i = m.low; i <= m.high; ++i)
                std::fprintf(out, "  %d:%s", i, readMeterText(m, i, buffer));
            std::fprintf(out, "\n");
            continue;
        }
        std::fprintf(out, "%s, %d to %d:\n", m.name.c_str(), m.low, m.high);
        for (int row = m.low; row <= m.high; row += kPerRow) {
            std::fprintf(out, "  %3d:", row);
            for (int i = row; i < row + kPerRow && i <= m.high; ++i)
                std::fprintf(out, " %4s", readMeterText(m, i, buffer));
            std::fprintf(out, "\n");
        }
    }
}
