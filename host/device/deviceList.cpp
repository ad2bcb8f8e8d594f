#include "host/device/deviceList.h"

#include <cstring>

#include "bridge/d2xxList.h"
#include "host/process/functionLookup.h"

HMODULE bridgeLibrary(BridgeSearch search)
{
    if (search == BridgeSearch::SystemFolderOnly)
        return LoadLibraryExA("FTD2XX.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    HMODULE loaded = GetModuleHandleA("FTD2XX.dll");
    return loaded != nullptr ? loaded : LoadLibraryA("FTD2XX.dll");
}

bool listDevices(HMODULE bridge, std::vector<ListedDevice> &devices, std::string &error)
{
    devices.clear();
    if (bridge == nullptr) {
        error = "FTD2XX.dll not found: install the FTDI D2XX driver";
        return false;
    }
    auto create = asFunction<FtCreateDeviceInfoListFn>(GetProcAddress(bridge, "FT_CreateDeviceInfoList"));
    auto get = asFunction<FtGetDeviceInfoListFn>(GetProcAddress(bridge, "FT_GetDeviceInfoList"));
    if (create == nullptr || get == nullptr) {
        error =
            "this FTD2XX.dll cannot list its devices (no FT_CreateDeviceInfoList/FT_GetDeviceInfoList): "
            "an old driver; install a current FTDI D2XX driver";
        return false;
    }
    DWORD count = 0;
    FT_STATUS status = create(&count);
    if (status != FT_OK) {
        error = "FT_CreateDeviceInfoList failed with status " + std::to_string(status);
        return false;
    }
    if (count == 0)
        return true;
    // One node to spare: a device plugged in between the two calls is not in
    // the snapshot, but a library that counted it anyway must not overrun.
    std::vector<FT_DEVICE_LIST_INFO_NODE> nodes(count + 1);
    DWORD filled = count;
    status = get(nodes.data(), &filled);
    if (status != FT_OK) {
        error = "FT_GetDeviceInfoList failed with status " + std::to_string(status);
        return false;
    }
    for (DWORD i = 0; i < filled && i < nodes.size(); ++i) {
        const FT_DEVICE_LIST_INFO_NODE &node = nodes[i];
        ListedDevice device;
        device.number = static_cast<int>(i);
        device.flags = node.Flags;
        device.type = node.Type;
        device.id = node.ID;
        device.location = node.LocId;
        device.serial.assign(node.SerialNumber, strnlen(node.SerialNumber, sizeof node.SerialNumber));
        device.description.assign(node.Description, strnlen(node.Description, sizeof node.Description));
        devices.push_back(device);
    }
    return true;
}

bool findSerial(HMODULE bridge, const std::string &serial, int &number, std::string &error)
{
    // A device another process has open lists an empty serial number, so an
    // empty one would pick out a device in use, not the device meant.
    if (serial.empty()) {
        error = "--serial needs a serial number; an empty one names no device";
        return false;
    }
    std::vector<ListedDevice> devices;
    if (!listDevices(bridge, devices, error))
        return false;
    bool hidden = false;
    for (const ListedDevice &device : devices) {
        if (device.serial == serial) {
            number = device.number;
            return true;
        }
        hidden = hidden || (device.inUse() && device.serial.empty());
    }
    error = "no device with serial number " + serial +
            (hidden ? " (a device in use by another program hides its serial number)" : "") +
            "; vornhost list-devices shows the connected devices";
    return false;
}
