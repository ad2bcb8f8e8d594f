// One turn on one controller for a loop that decides in the middle of it
// (vornhost control): the controller's lock taken within a bound, the device
// found (a serial number through the bridge's list, in the turn) and opened;
// then a status exchange and fan commands on that one handle; at the end the
// close and the lock let go, once each.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

#include "host/device/deviceAccess.h"

class ControllerTurn {
public:
    // `device` names a number or a serial number, or neither: then nothing is
    // opened and failure() says `unnamed`. Waits for the turn at most
    // boundMs, or until `cancel` (when given) is set.
    ControllerTurn(DeviceAccess &access, const DeviceChoice &device, const char *unnamed, DWORD boundMs,
                   HANDLE cancel = nullptr);
    ~ControllerTurn();
    ControllerTurn(const ControllerTurn &) = delete;
    ControllerTurn &operator=(const ControllerTurn &) = delete;

    bool open() const { return handle_ != nullptr; }
    // Why the device is not open: no turn, no such serial number, the open's
    // failure text; empty when it is.
    const std::string &failure() const { return failure_; }
    // Whether the turn came at all (the device may still have failed to open).
    bool taken() const { return turn_ && turn_->taken(); }

    // The status exchange on the open handle; null or the failure text.
    const char *readFrame(uint8_t *frame);
    // One fan's duty on the open handle; null or the failure text.
    const char *send(int fan, int percent);

private:
    DeviceAccess &access_;
    std::optional<LockTurn> turn_;
    FT_HANDLE handle_ = nullptr;
    std::string failure_;
};
