// The bridge library's own list of connected devices, looked up by name
// (FT_CreateDeviceInfoList, FT_GetDeviceInfoList): what `vornhost
// list-devices` prints and what `--serial` resolves through.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct ListedDevice {
    int number = 0; // the device number: its index in the list
    unsigned long flags = 0, type = 0, id = 0, location = 0;
    std::string serial, description;
    bool inUse() const { return (flags & 1) != 0; }
    bool highSpeed() const { return (flags & 2) != 0; }
};

// Where the bridge library may come from: for the commands, the one
// already loaded in this process (the plug-in's), else FTD2XX.dll by the
// usual search; for the service, only the system folder, where the
// bridge's driver package installs it.
enum class BridgeSearch {
    Usual,
    SystemFolderOnly
};

// The bridge library to list with, from where `search` allows. Null if
// none.
HMODULE bridgeLibrary(BridgeSearch search = BridgeSearch::Usual);

// Takes the bridge library's snapshot of its devices. False, with the reason,
// when the library lacks the list functions (an old driver) or they fail.
bool listDevices(HMODULE bridge, std::vector<ListedDevice> &devices, std::string &error);

// The device number of the device with this serial number. A device another
// program has open hides its serial number, so the caller holds its turn on
// the controller meanwhile: then only a program that does not take turns
// (the vendor's software) can hide it. An empty serial number is refused: it
// is what a device in use shows.
bool findSerial(HMODULE bridge, const std::string &serial, int &number, std::string &error);
