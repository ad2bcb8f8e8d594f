// vornhost set-fan FAN PERCENT [--device N | --serial S].
// Without a device: starts the plug-in as the desktop host does (so it uses
// the stored device number) and, once its first poll is in (so its poller
// has read that number), sends the command through its SetFanPercentage.
// With one: sends the same two bytes to that device over a connection the
// plug-in's openConnection makes.
// Either way a device busy with a poll cycle is tried again for up to one
// cycle's length.
#pragma once

#include <string>

#include "host/device/deviceChoice.h"

struct SetFanOptions {
    std::string fan, percent;
    DeviceChoice device; // none: through the plug-in
};

int runSetFan(const std::string &pluginPath, const SetFanOptions &options);
