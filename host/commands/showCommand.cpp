#include "host/commands/showCommand.h"

#include <cstdio>
#include <vector>

#include "host/plugin/meterJson.h"
#include "host/plugin/meterTable.h"
#include "host/plugin/pluginLoader.h"

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
        printPluginJson(plugin, meters);
    } else {
        printIdentity(stdout, plugin, meters);
        std::printf("\nReadings:\n");
        printMeterTable(stdout, meters);
    }
    unloadPlugin(plugin);
    return 0;
}
