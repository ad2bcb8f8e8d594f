#include "host/commands/showCommand.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "host/output/jsonOutput.h"
#include "host/plugin/meterTable.h"
#include "host/plugin/pluginLoader.h"

namespace {

// A meter's text as JSON: a whole number as an integer, another number as
// one with a fraction, anything else as the text.
JsonDocument meterValue(const char *text)
{
    char *end = nullptr;
    errno = 0;
    const long long whole = std::strtoll(text, &end, 10);
    if (end != text && *end == '\0' && errno == 0)
        return whole;
    const double number = std::strtod(text, &end);
    if (end != text && *end == '\0')
        return number;
    return jsonText(text);
}

void printShowJson(const Plugin &plugin, const std::vector<MeterInfo> &meters)
{
    static const char *const keys[] = {"name", "author", "version", "created", "updated", "requires", "contact"};
    JsonDocument show;
    for (unsigned i = 0; i < 7; ++i)
        show[keys[i]] = jsonText(plugin.getinfo(i));
    show["type"] = plugin.dlltype();
    JsonDocument &list = show["meters"] = JsonDocument::array();
    char buffer[64];
    for (const MeterInfo &m : meters) {
        JsonDocument readings = JsonDocument::array();
        for (int i = m.low; i <= m.high; ++i) {
            const char *text = readMeterText(m, i, buffer);
            if (text != buffer)
                readings.push_back({{"index", i}, {"error", jsonText(text)}});
            else
                readings.push_back({{"index", i}, {"value", meterValue(text)}});
        }
        list.push_back({{"function", jsonText(m.name)}, {"prompt", jsonText(m.prompt)}, {"readings", readings}});
    }
    printJsonLine(show);
}

} // namespace

int runShow(const std::string &pluginPath, const ShowOptions &options)
{
    Plugin plugin;
    std::string error;
    if (!loadPlugin(pluginPath.c_str(), plugin, error)) {
        std::fprintf(stderr, "vornhost: %s\n", error.c_str());
        return 1;
    }
    std::vector<MeterInfo> meters;
    if (!loadMeters(plugin, meters, error)) {
        std::fprintf(stderr, "vornhost: %s\n", error.c_str());
        unloadPlugin(plugin);
        return 1;
    }
    if (options.json) {
        printShowJson(plugin, meters);
    } else {
        printIdentity(stdout, plugin, meters);
        std::printf("\nReadings:\n");
        printMeterTable(stdout, meters);
    }
    unloadPlugin(plugin);
    return 0;
}
