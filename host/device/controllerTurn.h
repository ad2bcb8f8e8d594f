// vornhost's turn on the controller: the same named lock that the plug-in
// takes in every host (core/controllerLock.h), held around each exchange
// vornhost makes itself, so that it and the pollers never refuse each other.
#pragma once

#include <windows.h>

// What vornhost says when the turn did not come within the bound.
extern const char kControllerBusy[];

class ControllerTurn {
public:
    // Waits for the turn, at most the bound in all, on the lock opened as
    // controller/controllerMutex.h opens it (a fallback to the session's lock
    // is said once on stderr). A lock that cannot be had at all (both names
    // taken by another kind of object) counts as the turn: the driver's
    // refusal of a second open still keeps parties apart.
    ControllerTurn();
    ~ControllerTurn();
    ControllerTurn(const ControllerTurn &) = delete;
    ControllerTurn &operator=(const ControllerTurn &) = delete;

    bool taken() const { return taken_; }

private:
    HANDLE lock_ = nullptr;
    bool taken_ = false;
};
