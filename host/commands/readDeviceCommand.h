// vornhost read-device N | --serial S [--json]: one status exchange with the
// controller through the plug-in's own device functions, decoded field by
// field. It is how a user checks the wiring and the device number.
#pragma once

#include <string>

#include "host/device/deviceChoice.h"

struct ReadDeviceOptions {
    DeviceChoice device;
    bool json = false;
};

int runReadDevice(const std::string &pluginPath, const ReadDeviceOptions &options);
