#include "host/plugin/pluginLoader.h"

#include <cstdio>
#include <cstdlib>

FARPROC resolveExport(HMODULE module, const char *name, int argBytes, std::string &error)
{
    FARPROC plain = GetProcAddress(module, name);
    if (plain == nullptr) {
        error = std::string("the plug-in does not export ") + name;
        return nullptr;
    }
    char alias[128];
    std::snprintf(alias, sizeof alias, "_%s@%d", name, argBytes);
    FARPROC decorated = GetProcAddress(module, alias);
    if (decorated == nullptr) {
        error = std::string("the plug-in does not export ") + alias;
        return nullptr;
    }
    if (decorated != plain) {
        error = std::string(alias) + " and " + name + " are different functions";
        return nullptr;
    }
    return plain;
}

void reportExportError(const std::string &error)
{
    std::fprintf(stderr, "vornhost: %s\n", error.c_str());
}

bool loadPlugin(const char *path, Plugin &plugin, std::string &error)
{
    plugin.module = LoadLibraryA(path);
    if (plugin.module == nullptr) {
        char reason[256];
        const DWORD code = GetLastError();
        if (FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, reason,
                           sizeof reason, nullptr) == 0)
            reason[0] = '\0';
        error = std::string("cannot load ") + path + " (error " + std::to_string(code) + ": " + reason;
        while (!error.empty() && (error.back() == '\n' || error.back() == '\r'))
            error.pop_back();
        error += ")";
        return false;
    }
    HMODULE m = plugin.module;
    if (!(plugin.init = asFunction<InitFn>(resolveExport(m, "init", 0, error))) ||
        !(plugin.dlltype = asFunction<DllTypeFn>(resolveExport(m, "dlltype", 0, error))) ||
        !(plugin.getinfo = asFunction<GetInfoFn>(resolveExport(m, "getinfo", 4, error))) ||
        !(plugin.getparam = asFunction<GetParamFn>(resolveExport(m, "getparam", 4, error))) ||
        !(plugin.dllstartup = asFunction<DllStartupFn>(resolveExport(m, "dllstartup", 8, error))) ||
        !(plugin.dllshutdown = asFunction<DllShutdownFn>(resolveExport(m, "dllshutdown", 4, error)))) {
        unloadPlugin(plugin);
        return false;
    }
    return true;
}

void unloadPlugin(Plugin &plugin)
{
    if (plugin.module != nullptr)
        FreeLibrary(plugin.module);
    plugin = Plugin();
}

namespace {

// "Fan Index (0-3)|" gives 0 and 3.
void readRange(const std::string &prompt, int &low, int &high)
{
    const size_t open = prompt.rfind('(');
    if (open == std::string::npos || std::sscanf(prompt.c_str() + open, "(%d-%d)", &low, &high) != 2) {
        low = 0;
        high = -1;
    }
}

} // namespace

bool loadMeters(const Plugin &plugin, std::vector<MeterInfo> &meters, std::string &error)
{
    meters.clear();
    const std::string list = plugin.init();
    size_t start = 0;
    while (start <= list.size()) {
        size_t bar = list.find('|', start);
        if (bar == std::string::npos)
            bar = list.size();
        MeterInfo meter;
        meter.name = list.substr(start, bar - start);
        if (!meter.name.empty()) {
            meter.function = asFunction<MeterFn>(resolveExport(plugin.module, meter.name.c_str(), 8, error));
            if (meter.function == nullptr)
                return false;
            meter.prompt = plugin.getparam(meter.name.c_str());
            readRange(meter.prompt, meter.low, meter.high);
            meters.push_back(meter);
        }
        start = bar + 1;
    }
    return true;
}

std::string pluginBesideProgram()
{
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string dir(path, length);
    const size_t slash = dir.find_last_of("\\/");
    dir = slash == std::string::npos ? std::string() : dir.substr(0, slash + 1);
    return dir + "VORN.dll";
}
