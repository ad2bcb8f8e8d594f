// Direct access to one device for the commands that talk to it themselves
// (read-device, set-fan with a device, list-devices --probe, control):
// FTD2XX.dll loaded by vornhost itself, and turns on the controller
// (controller/controllerTurn.h) made with its operations and this process's
// lock (host/device/processLock.h). No VORN.dll.
#pragma once

#include <windows.h>

#include <array>
#include <string>

#include "controller/controllerTurn.h"
#include "core/fanCommand.h"
#include "core/turnTaking.h"
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

    // A turn on the controller with this library's operations, waited for
    // at most boundMs in all, or until `cancel` (when given) is set. The
    // access outlives the turn.
    ControllerTurn turn(DWORD boundMs = kControllerTurnMs, HANDLE cancel = nullptr) const;
    // A turn that waits for nothing and opens nothing: for a command that
    // will not be sent.
    ControllerTurn noTurn() const;
    // A turn for the device `device` names: none when it names neither.
    ControllerTurn turnFor(const DeviceChoice &device, DWORD boundMs, HANDLE cancel = nullptr) const;

    // Opens the device `device` names in `turn`: its number, or its serial
    // number found through the bridge's list in the turn. Empty when it is
    // open; else why not: `unnamed` when it names neither, kControllerBusy
    // when the turn did not come, no such serial number, the open's failure
    // text.
    std::string openChosen(ControllerTurn &turn, const DeviceChoice &device, const char *unnamed) const;

    // One status exchange with device `number` in the caller's turn: open,
    // request, reply, close. Null when a complete frame came, else the
    // failure text, or kControllerBusy when the turn did not come.
    static const char *exchangeStatus(ControllerTurn &turn, int number, uint8_t *frame);

    HMODULE bridge() const { return bridge_; }

private:
    HMODULE bridge_ = nullptr;
    BridgeOperations operations_ = {};
};

// The device a command names: its number, or its serial number resolved
// through the bridge's list. Prints the reason and returns false when it
// cannot tell.
bool selectedDevice(const DeviceChoice &choice, HMODULE bridge, int &number);
