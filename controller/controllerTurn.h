// A turn on the controller, the one way every program of this project has
// one: the lock won (or not) by its owner's own wait, the device opened on
// the turn's bridge operations, the status exchange and the fan commands on
// that handle, and at the end the close and the lock let go, once each, in
// that order. The plug-in's poller and fan command (controller/moduleLock.h)
// and vornhost's exchanges and control loop (host/device/processLock.h) each
// wait for the lock their own way and hand the outcome here. Who holds a
// turn when, and for how long: docs/lifecycle.md.
#pragma once

#include <windows.h>

#include <cstdint>

#include "controller/controllerExchange.h"
#include "core/protocol.h"

class ControllerTurn {
public:
    // How the lock is let go at the end of a turn that won it; null when
    // there is nothing to let go.
    using LetGo = void (*)();

    // `won`: whether the owner's wait brought the turn. A turn not won opens
    // nothing and lets nothing go.
    ControllerTurn(const BridgeOperations &bridge, bool won, LetGo letGo);
    ~ControllerTurn();
    ControllerTurn(const ControllerTurn &) = delete;
    ControllerTurn &operator=(const ControllerTurn &) = delete;

    bool taken() const { return won_; }
    bool open() const { return *slot_ != nullptr; }

    // Opens device `number` and sets its line up, in a turn that was won
    // (else the open's failure text). The handle is kept in `slot` when
    // given (the poller's deviceHandle, written the moment the library opens
    // it), else in the turn; a failed open leaves the slot null. Null or the
    // failure text.
    const char *openDevice(int number, FT_HANDLE *slot = nullptr);
    // One status exchange on the open handle; null or the failure text.
    const char *exchangeStatus(uint8_t *frame);
    // One fan command (core/fanCommand.h) on the open handle; null or
    // kFanCommandNotSent.
    const char *send(const uint8_t command[kFanCommandSize]);
    // The same for one fan's duty: null, the range message, or
    // kFanCommandNotSent.
    const char *send(int fan, int percent);

    // Closes the device now, if open; the turn goes on.
    void closeDevice();
    // Ends the turn now: the device closed, then the lock let go. The
    // destructor does the same; each happens once.
    void finish();

private:
    const BridgeOperations &bridge_;
    const bool won_;
    bool holding_;
    const LetGo letGo_;
    FT_HANDLE own_ = nullptr;
    FT_HANDLE *slot_ = &own_;
};
