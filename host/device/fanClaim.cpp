#include "host/device/fanClaim.h"

#include "controller/sharedLocks.h"
#include "host/device/deviceList.h"

namespace {

std::string claimName(const std::string &controller, int fan)
{
    return "VORN fan claim " + controller + " fan " + std::to_string(fan);
}

} // namespace

std::string controllerIdentity(HMODULE bridge, const DeviceChoice &device)
{
    if (device.serial)
        return *device.serial;
    const int number = device.number.value_or(0);
    std::vector<ListedDevice> devices;
    std::string error;
    if (listDevices(bridge, devices, error)) {
        for (const ListedDevice &listed : devices)
            if (listed.number == number && !listed.serial.empty())
                return listed.serial;
    }
    return "device " + std::to_string(number);
}

FanClaims::~FanClaims()
{
    dropAll();
}

bool FanClaims::claim(const std::string &controller, const std::vector<int> &fans, std::string &refusal)
{
    for (int fan : fans) {
        const std::string name = claimName(controller, fan);
        ClaimOutcome outcome = ClaimOutcome::Unusable;
        DWORD error = 0;
        HANDLE handle = takeNamedClaim(name.c_str(), outcome, error);
        if (handle != nullptr) {
            handles_.push_back(handle);
            continue;
        }
        const std::string fanText = "fan " + std::to_string(fan) + " of " + controller;
        const std::string shown = "\"Global\\" + name + "\"";
        switch (outcome) {
        case ClaimOutcome::Owned:
            refusal = fanText + " is driven by another vornhost control already (another program owns its claim, " +
                      shown + ")";
            break;
        case ClaimOutcome::OtherKind:
            refusal = fanText + " cannot be claimed: another kind of object has its claim's name, " + shown;
            break;
        case ClaimOutcome::Refused:
            refusal = fanText + " cannot be claimed: another program made its claim, " + shown +
                      ", under rights that refuse this one";
            break;
        default:
            refusal =
                fanText + " cannot be claimed: " + shown + " cannot be used (error " + std::to_string(error) + ")";
            break;
        }
        dropAll();
        return false;
    }
    return true;
}

void FanClaims::dropAll()
{
    for (HANDLE handle : handles_)
        dropNamedClaim(handle);
    handles_.clear();
}

bool fanClaimed(const std::string &controller, int fan)
{
    return namedClaimHeld(claimName(controller, fan).c_str());
}
