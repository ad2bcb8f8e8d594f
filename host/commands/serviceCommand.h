// vornhost service install --config FILE [--account LocalService|
// LocalSystem] | uninstall | start | stop | status [--json] | run: fan
// control as a Windows service (host/service/), from boot to shutdown.
//
// install changes nothing when the service is there already (exit 1). It
// checks the configuration as control does (exit 2 naming the place) and
// requires "device" in it, makes the data folder the service's
// (host/security/dataFolderGuard.h), writes the bytes it checked to
// fan-curve.json there, copies vornhost.exe to Program Files\VORN\ and
// registers that copy as the service, running as LocalService unless
// --account says LocalSystem, and as the Event Log source's message file.
// uninstall removes the service, the source and the copy. Every action but
// status and run needs administrator rights: exit 1, saying so, without
// them. status prints the service's state and its last poll and alarm from
// the status file. run is the service process itself.
#pragma once

#include <string>

struct ServiceOptions {
    std::string action;
    std::string configPath;
    std::string account = "LocalService"; // host/service/serviceManager.h's kServiceAccounts
    bool json = false;
};

int runService(const std::string &pluginPath, const ServiceOptions &options);
