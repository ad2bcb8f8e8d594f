#include "host/device/fanClaim.h"

#include "controller/controllerMutex.h"
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
    for (HANDLE handle : handles_)
        CloseHandle(handle);
}

bool FanClaims::claim(const std::string &controller, const std::vector<int> &fans, int &refused)
{
    for (int fan : fans) {
        bool heldElsewhere = false;
        HANDLE handle = createNamedClaim(claimName(controller, fan).c_str(), &heldElsewhere);
        if (handle != nullptr)
            handles_.push_back(handle);
        if (heldElsewhere) {
            refused = fan;
            for (HANDLE taken : handles_)
                CloseHandle(taken);
            handles_.clear();
            return false;
        }
    }
    return true;
}

bool fanClaimed(const std::string &controller, int fan)
{
    return namedClaimHeld(claimName(controller, fan).c_str());
}
