// One controller per fan: a running `vornhost control` (or the service)
// owns a claim on each fan it drives for the loop's whole life, a mutex in
// the global namespace named for the controller (its serial number when
// known, else its device number) and the fan, under the controller lock's
// descriptor (controller/sharedLocks.h). A claim is the mutex's
// ownership, not its name: another program that merely holds the name open
// takes no fan away. A second loop that names a claimed fan refuses to
// start; set-fan asks whether a fan is claimed to warn that the loop will
// set it back. Windows lets a claim go when its owner ends, however it ends,
// and the next claimant takes it over.
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

    // Claims each fan of the controller, on the thread that keeps the claims
    // (a mutex is owned by a thread); on the first that cannot be had (owned
    // elsewhere, its name taken by another kind of object or under rights
    // that refuse this program), lets go of those it took and returns false
    // with why in `refusal`, naming the fan and the claim's name.
    bool claim(const std::string &controller, const std::vector<int> &fans, std::string &refusal);

private:
    void dropAll();

    std::vector<HANDLE> handles_;
};

// Whether a running loop (another program, or another thread) owns the claim
// on that fan of that controller.
bool fanClaimed(const std::string &controller, int fan);
