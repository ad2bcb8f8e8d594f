// The configuration of `vornhost control` loaded for a command, with what is
// wrong with it said on the console.
#pragma once

#include <string>

#include "control/controlConfig.h"

// readControlConfig (host/fans/controlConfigFile.h) for a command: false,
// with "vornhost: FILE: place: message" on stderr, when the configuration
// cannot be used.
bool loadControlConfig(const std::string &path, ControlConfig &config);
// The same, keeping the bytes it checked in `text`: what is checked is
// what gets used, not the file read again.
bool loadControlConfig(const std::string &path, ControlConfig &config, std::string &text);
