// vornhost service install --config FILE | uninstall | start | stop |
// status [--json] | run: fan control as a Windows service
// (host/service/), from boot to shutdown.
//
// install checks the configuration as control does (exit 2 naming the
// place) and requires "device" in it, copies it to
// %ProgramData%\VORN\fan-curve.json, registers the service and the Event Log
// source. Every action but status and run needs administrator rights: exit
// 1, saying so, without them. status prints the service's state and its last
// poll and alarm from the status file. run is the service process itself.
#pragma once

#include <string>

struct ServiceOptions {
    std::string action;
    std::string configPath;
    bool json = false;
};

int runService(const std::string &pluginPath, const ServiceOptions &options);
