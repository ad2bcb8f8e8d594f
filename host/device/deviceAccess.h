// Direct access to one device for the commands that talk to it themselves
// (read-device, set-fan with a device, list-devices --probe, control):
// FTD2XX.dll loaded by vornhost itself and its operations handed to the one
// exchange every program makes (controller/controllerExchange.h). No VORN.dll.
#pragma once

#include <windows.h>

#include <array>
#include <string>
#include <vector>

#include "controller/controllerExchange.h"
#include "core/fanCommand.h"
#include "host/device/deviceChoice.h"
#include "host/device/deviceList.h"
#include "host/device/processLock.h"

using FanCommandBytes = std::array<uint8_t, kFanCommandSize>;

class DeviceAccess {
public:
    // Loads the bridge library from where `search` allows
    // (host/device/deviceList.h) and looks up its operations; prints the
    // reason and returns false when that fails.
    bool load(BridgeSearch search = BridgeSearch::Usual);

    // Opens and sets up the line; null or the failure text. The caller holds
    // its turn on the controller (host/device/processLock.h) from here to
    // the close.
    const char *open(int deviceNumber, FT_HANDLE *handle);
    // One status exchange on an open handle; null or the text.
    const char *readFrame(FT_HANDLE handle, uint8_t *frame);
    // One status exchange with device `number` in the caller's turn: open,
    // request, reply, close. Null when a complete frame came, else the
    // failure text, or kControllerBusy when the turn did not come.
    const char *exchangeStatus(const LockTurn &turn, int number, uint8_t *frame);
    // Writes one fan command on an open handle; null or kFanCommandNotSent.
    const char *write(FT_HANDLE handle, const FanCommandBytes &command);
    void close(FT_HANDLE handle);
    // Opens device `number`, writes each fan command, and closes it again;
    // the caller holds its turn. Null when all of them went out, else the
    // open's failure text, or kFanCommandNotSent for a command not written
    // whole, after which no further one is tried. `written` counts those
    // that went out.
    const char *sendCommands(int number, const std::vector<FanCommandBytes> &commands, size_t &written);

    HMODULE bridge() const { return bridge_; }

private:
    HMODULE bridge_ = nullptr;
    BridgeOperations operations_ = {};
};

// The device a command names: its number, or its serial number resolved
// through the bridge's list. Prints the reason and returns false when it
// cannot tell.
bool selectedDevice(const DeviceChoice &choice, HMODULE bridge, int &number);
