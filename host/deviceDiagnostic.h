// vornhost read-device N: one status exchange with the controller through the
// plug-in's own device functions, decoded field by field. It is how a user
// checks the wiring and the device number.
#pragma once

#include <string>

int runReadDevice(const std::string &pluginPath, int deviceNumber);
