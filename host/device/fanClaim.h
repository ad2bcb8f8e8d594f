// One controller per fan: a running `vornhost control` holds a claim on each
// fan it drives for the loop's whole life, a kernel object in the global
// namespace named for the controller (its serial number when known, else its
// device number) and the fan, under the controller lock's descriptor
// (controller/controllerMutex.h). A second loop that names a claimed fan
// refuses to start; set-fan asks whether a fan is claimed to warn that the
// loop will set it back. Windows drops a claim when its holder ends, however
// it ends.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "host/device/deviceChoice.h"

// What the claims call the controller a device choice names: "VORN0000" for
// a serial number given, or found in the bridge's list for a device number;
// "device 1" when the list does not show it (another program has it open).
// The caller holds its turn on the controller, so that no program that takes
// turns hides the serial number meanwhile.
std::string controllerIdentity(HMODULE bridge, const DeviceChoice &device);

class FanClaims {
public:
    FanClaims() = default;
    ~FanClaims();
    FanClaims(const FanClaims &) = delete;
    FanClaims &operator=(const FanClaims &) = delete;

    // Claims each fan of the controller; on the first one held elsewhere,
    // lets go of those it took and returns false with that fan in `refused`.
    // A name that cannot be used at all (no global namespace) claims nothing
    // and is no refusal.
    bool claim(const std::string &controller, const std::vector<int> &fans, int &refused);

private:
    std::vector<HANDLE> handles_;
};

// Whether a running loop holds the claim on that fan of that controller.
bool fanClaimed(const std::string &controller, int fan);
