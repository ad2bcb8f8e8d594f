// vornhost list-devices [--probe] [--json]: every device the bridge library
// knows, with the device number to enter in the plug-in's configuration, its
// serial number, description, location and whether another program has it
// open. --probe sends the status request to each device not in use and tells
// whether a complete reply came back (the controller) or not; without it
// nothing is written to any device.
#pragma once

#include <string>

struct ListDevicesOptions {
    bool probe = false;
    bool json = false;
};

int runListDevices(const std::string &pluginPath, const ListDevicesOptions &options);
