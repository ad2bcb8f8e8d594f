// vornhost: a command-line host for meter plug-ins. It loads VORN.dll the way
// the desktop host does and prints what the desktop would show, and it finds
// and checks the controller. The command table below is the one list of
// commands: the parser, `--help` and `vornhost COMMAND --help` all read it.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "host/commandLine.h"
#include "host/configureCommand.h"
#include "host/deviceDiagnostic.h"
#include "host/fanCommandCli.h"
#include "host/jsonWriter.h"
#include "host/listDevicesCommand.h"
#include "host/meterTable.h"
#include "host/pluginLoader.h"
#include "host/watch.h"

namespace {

std::string defaultPluginPath()
{
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string dir(path, length);
    const size_t slash = dir.find_last_of("\\/");
    dir = slash == std::string::npos ? std::string() : dir.substr(0, slash + 1);
    return dir + "VORN.dll";
}

void printShowJson(const Plugin &plugin, const std::vector<MeterInfo> &meters)
{
    static const char *const keys[] = {"name", "author", "version", "created", "updated", "requires", "contact"};
    JsonWriter json;
    json.beginObject();
    for (unsigned i = 0; i < 7; ++i)
        json.key(keys[i]).string(plugin.getinfo(i));
    json.key("type").integer(plugin.dlltype()).key("meters").beginArray();
    char buffer[64];
    for (const MeterInfo &m : meters) {
        json.beginObject().key("function").string(m.name).key("prompt").string(m.prompt);
        json.key("readings").beginArray();
        for (int i = m.low; i <= m.high; ++i) {
            json.beginObject().key("index").integer(i);
            const char *text = readMeterText(m, i, buffer);
            char *end = nullptr;
            const double number = std::strtod(text, &end);
            if (text != buffer)
                json.key("error").string(text);
            else if (end != text && *end == '\0')
                json.key("value").number(number);
            else
                json.key("value").string(text);
            json.endObject();
        }
        json.endArray().endObject();
    }
    json.endArray().endObject();
    std::printf("%s\n", json.text().c_str());
}

int runShow(const Invocation &invocation)
{
    Plugin plugin;
    std::string error;
    if (!loadPlugin(invocation.pluginPath.c_str(), plugin, error)) {
        std::fprintf(stderr, "vornhost: %s\n", error.c_str());
        return 1;
    }
    std::vector<MeterInfo> meters;
    if (!loadMeters(plugin, meters, error)) {
        std::fprintf(stderr, "vornhost: %s\n", error.c_str());
        unloadPlugin(plugin);
        return 1;
    }
    if (invocation.has("--json")) {
        printShowJson(plugin, meters);
    } else {
        printIdentity(stdout, plugin, meters);
        std::printf("\nReadings:\n");
        printMeterTable(stdout, meters);
    }
    unloadPlugin(plugin);
    return 0;
}

int runConfigureCommand(const Invocation &invocation)
{
    return runConfigure(invocation.pluginPath);
}

const OptionEntry kJson = {"--json", nullptr, "print one JSON document instead of text"};

const std::vector<CommandEntry> kCommands = {
    {"show",
     "",
     0,
     0,
     "identity, meter functions with their prompts, and every meter value over\n"
     "its whole index range, without starting the plug-in",
     {kJson},
     runShow},
    {"watch",
     "",
     0,
     0,
     "starts the plug-in as the desktop host does and shows every reading from\n"
     "its first poll on, as a table that stays in place, until Ctrl-C",
     {{"--interval", "SECONDS", "time between readings, 1 to 86400 (default 1)"},
      {"--count", "N", "stop after N readings"},
      {"--seconds", "N", "stop after N seconds, at most 31536000 (a year)"},
      {"--json", nullptr, "one JSON object per reading and line (JSON Lines) instead of the table"},
      {"--csv", "FILE", "also write each reading as a row of FILE (CSV), flushed at once"},
      {"--set-fan-after", "SECONDS FAN PERCENT", "send a fan command that far into the watch (at most a year)"}},
     runWatch},
    {"list-devices",
     "",
     0,
     0,
     "every device the FTDI bridge library knows: the device number to enter\n"
     "as USB Device ID, serial number, description, location, and \"in use\" when\n"
     "another program has it open; nothing is written to any device",
     {{"--probe", nullptr, "send the status request to each free device and say which one is the controller"}, kJson},
     runListDevices},
    {"read-device",
     "[N]",
     0,
     1,
     "one status exchange with device number N (or the one with serial number S)\n"
     "through the plug-in's own device functions, decoded field by field",
     {{"--serial", "S", "the device with this serial number, in place of N"}, kJson},
     runReadDevice},
    {"set-fan",
     "FAN PERCENT",
     2,
     2,
     "sets fan FAN (0-3) to PERCENT (0-100); through the plug-in's SetFanPercentage\n"
     "with the stored device number, once its first poll is in (one refresh\n"
     "interval), or straight to the device chosen here",
     {{"--device", "N", "send to device number N"}, {"--serial", "S", "send to the device with serial number S"}},
     runSetFan},
    {"configure",
     "",
     0,
     0,
     "the plug-in's settings dialog (device number, refresh rate), then the\n"
     "readings after its next poll",
     {},
     runConfigureCommand},
};

} // namespace

int main(int argc, char **argv)
{
    Invocation invocation;
    invocation.pluginPath = defaultPluginPath();
    const int parsed = parseCommandLine(argc, argv, kCommands, invocation);
    if (parsed >= 0)
        return parsed;
    return invocation.command->run(invocation);
}
