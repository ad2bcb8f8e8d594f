// Loads a meter plug-in the way the desktop host does: LoadLibraryA, then the
// exports by their plain names, each checked against its decorated alias.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "host/process/functionLookup.h"
#include "plugin/exports.h"

struct Plugin {
    HMODULE module = nullptr;
    InitFn init = nullptr;
    DllTypeFn dlltype = nullptr;
    GetInfoFn getinfo = nullptr;
    GetParamFn getparam = nullptr;
    DllStartupFn dllstartup = nullptr;
    DllShutdownFn dllshutdown = nullptr;
};

// Resolves an export by its plain name and checks that the stdcall alias
// _name@argBytes names the same function. Returns null and sets error if not.
FARPROC resolveExport(HMODULE module, const char *name, int argBytes, std::string &error);

// Prints why an export could not be had.
void reportExportError(const std::string &error);

// An export the caller needs, resolved as above; prints the reason and
// returns null when it is missing.
template <class Fn>
Fn requiredExport(HMODULE module, const char *name, int argBytes)
{
    std::string error;
    const Fn function = asFunction<Fn>(resolveExport(module, name, argBytes, error));
    if (function == nullptr)
        reportExportError(error);
    return function;
}

// The plug-in's fan command, as watch, set-fan and control send it.
inline SetFanPercentageFn setFanPercentageOf(HMODULE module)
{
    return requiredExport<SetFanPercentageFn>(module, "SetFanPercentage", 12);
}

// "...\VORN.dll" in the folder of this program, where the commands look for
// the plug-in.
std::string pluginBesideProgram();

// Loads the plug-in and its identity and lifecycle exports.
bool loadPlugin(const char *path, Plugin &plugin, std::string &error);

void unloadPlugin(Plugin &plugin);

struct MeterInfo {
    std::string name;
    std::string prompt;
    MeterFn function = nullptr;
    int low = 0; // index range, read from the prompt's "(low-high)"
    int high = -1;
};

// The meter functions that init lists, with their prompts and index ranges.
bool loadMeters(const Plugin &plugin, std::vector<MeterInfo> &meters, std::string &error);
