// Direct access to one device for the commands that talk to it themselves
// (read-device, set-fan with a device, list-devices --probe): the plug-in
// loaded but not started, so that its own openConnection and readFromVorn do
// the exchange exactly as a poll does, and the bridge library it loaded for
// writing and closing.
#pragma once

#include <windows.h>

#include <array>
#include <string>
#include <vector>

#include "bridge/d2xx.h"
#include "core/fanCommand.h"
#include "host/device/controllerTurn.h"
#include "host/device/deviceChoice.h"
#include "host/plugin/pluginLoader.h"

using FanCommandBytes = std::array<uint8_t, kFanCommandSize>;

class DeviceAccess {
public:
    ~DeviceAccess();

    // Loads the plug-in and looks up what the exchange needs; prints the
    // reason and returns false when that fails.
    bool load(const std::string &pluginPath);

    // openConnection; null or the failure text. The caller holds its turn on
    // the controller (host/device/controllerTurn.h) from here to the close.
    const char *open(int deviceNumber, FT_HANDLE *handle);
    // One status exchange on an open handle (readFromVorn); null or the text.
    const char *readFrame(FT_HANDLE handle, uint8_t *frame);
    // One status exchange with device `number` in the caller's turn: open,
    // request, reply, close. Null when a complete frame came, else the
    // failure text: the plug-in's, or kControllerBusy when the turn did not
    // come.
    const char *exchangeStatus(const ControllerTurn &turn, int number, uint8_t *frame);
    // Writes bytes on an open handle; true when all of them went out.
    bool write(FT_HANDLE handle, const void *bytes, DWORD count);
    void close(FT_HANDLE handle);
    // Opens device `number`, writes each fan command, and closes it again;
    // the caller holds its turn. Null when all of them went out, else the
    // open's failure text, or the plug-in's "not sent" text for a command not
    // written whole, after which no further one is tried. `written` counts
    // those that went out.
    const char *sendCommands(int number, const std::vector<FanCommandBytes> &commands, size_t &written);

    HMODULE bridge() const { return bridge_; }

private:
    Plugin plugin_;
    OpenConnectionFn openConnection_ = nullptr;
    ReadFromVornFn readFromVorn_ = nullptr;
    HMODULE bridge_ = nullptr;
    decltype(&FT_Close) close_ = nullptr;
    decltype(&FT_Write) write_ = nullptr;
};

// The device a command names: its number, or its serial number resolved
// through the bridge's list. Prints the reason and returns false when it
// cannot tell.
bool selectedDevice(const DeviceChoice &choice, HMODULE bridge, int &number);
