// vornhost set-fan FAN PERCENT: starts the plug-in as the desktop host does
// (so it knows the stored device number) and sends one fan command.
#pragma once

#include <string>

int runSetFan(const std::string &pluginPath, const std::string &fan, const std::string &percent);
