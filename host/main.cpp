// vornhost: a command-line host for meter plug-ins. It loads VORN.dll the way
// the desktop host does and prints what the desktop would show.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "host/configureCommand.h"
#include "host/deviceDiagnostic.h"
#include "host/fanCommandCli.h"
#include "host/meterTable.h"
#include "host/pluginLoader.h"
#include "host/watch.h"

namespace {

const char kUsage[] =
    "Usage: vornhost [--plugin PATH] [COMMAND]\n"
    "\n"
    "Loads a meter plug-in (default: VORN.dll beside this program) as the desktop\n"
    "host does and prints what it would show.\n"
    "\n"
    "Commands:\n"
    "  show        identity, meter functions with their prompts, and every meter\n"
    "              value over its whole index range (the default)\n"
    "\n"
    "Options:\n"
    "  --plugin PATH   the plug-in to load\n"
    "  --help          this text\n";

std::string defaultPluginPath()
{
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string dir(path, length);
    const size_t slash = dir.find_last_of("\\/");
    dir = slash == std::string::npos ? std::string() : dir.substr(0, slash + 1);
    return dir + "VORN.dll";
}

int runShow(const std::string &pluginPath)
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
    printIdentity(stdout, plugin, meters);
    std::printf("\nReadings:\n");
    printMeterTable(stdout, meters);
    unloadPlugin(plugin);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    std::string pluginPath = defaultPluginPath();
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--plugin") == 0) {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "vornhost: --plugin needs a path\n");
                return 2;
            }
            pluginPath = argv[++i];
            continue;
        }
        args.push_back(argv[i]);
    }
    const std::string command = args.empty() ? "show" : args[0];
    if (command == "show")
        return runShow(pluginPath);
    if (command == "read-device") {
        if (args.size() != 2) {
            std::fprintf(stderr, "vornhost: read-device needs a device number\n");
            return 2;
        }
        return runReadDevice(pluginPath, std::atoi(args[1].c_str()));
    }
    if (command == "configure")
        return runConfigure(pluginPath);
    if (command == "set-fan") {
        if (args.size() != 3) {
            std::fprintf(stderr, "vornhost: set-fan needs a fan and a percentage\n");
            return 2;
        }
        return runSetFan(pluginPath, args[1], args[2]);
    }
    if (command == "watch") {
        WatchOptions options;
        for (size_t i = 1; i < args.size(); ++i) {
            if (args[i] == "--seconds" && i + 1 < args.size()) {
                options.seconds = std::atoi(args[++i].c_str());
            } else if (args[i] == "--set-fan-after" && i + 3 < args.size()) {
                options.setFanAfter = std::atoi(args[++i].c_str());
                options.fan = args[++i];
                options.percent = args[++i];
            } else {
                std::fprintf(stderr, "vornhost: watch does not understand '%s'\n", args[i].c_str());
                return 2;
            }
        }
        return runWatch(pluginPath, options);
    }
    std::fprintf(stderr, "vornhost: unknown command '%s'\n\n%s", command.c_str(), kUsage);
    return 2;
}
