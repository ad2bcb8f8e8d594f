// How `vornhost control` gets a duty to a fan. Normally through the started
// plug-in's SetFanPercentage, which takes the controller's lock itself and
// sends to the device number its poller uses. While the plug-in's last poll
// failed it refuses, returning that failure; then, and whenever it returns a
// failure, the duty goes straight to that device number (the stored
// "Device ID", host/plugin/storedSettings.h) in a turn of vornhost's own,
// with the plug-in's own command bytes (core/fanCommand.h), as `set-fan
// --device` sends it. A fail-safe duty therefore reaches a controller whose status replies fail,
// as long as it still takes commands. With no device number stored nothing
// goes straight to a device: the plug-in itself sends nowhere then.
#pragma once

#include <string>
#include <vector>

#include "host/device/deviceAccess.h"

struct FanDuty {
    int fan = 0;
    int percent = 0;
};

class DutySender {
public:
    // Looks up SetFanPercentage in the loaded plug-in and readies the direct
    // way; prints the reason and returns false when either fails.
    bool load(const std::string &pluginPath, HMODULE plugin);

    // Sends each duty; per duty, null when it got through, else the failure
    // text. `direct` skips the plug-in (its reading just failed, so it would
    // refuse). All duties that go straight to the device share one turn.
    std::vector<const char *> send(const std::vector<FanDuty> &duties, bool direct);

private:
    SetFanPercentageFn setFan_ = nullptr;
    DeviceAccess device_;
};
