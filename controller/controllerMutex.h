// Opening the controller's lock (core/controllerLock.h) the one way every
// program of this project opens it: the plug-in in each host
// (controller/deviceLock.cpp) and vornhost (host/controllerTurn.cpp). It keeps
// no state: each call hands the caller a handle of its own to close. Which
// name is used when, and what the fallback costs: docs/lifecycle.md.
#pragma once

#include <windows.h>

// All a party needs: to wait for the lock and to release it.
constexpr DWORD kControllerMutexRights = SYNCHRONIZE | MUTEX_MODIFY_STATE;

struct ControllerMutex {
    // The lock, with kControllerMutexRights only; null when neither name
    // could be had (another kind of object holds both).
    HANDLE handle = nullptr;
    // True for the global lock; false when the handle (if any) is the
    // session's, on which only the programs of this session take turns.
    bool global = false;
    // Why the global name could not be used: a system error code, else 0.
    DWORD globalError = 0;
};

// Creates the global lock, with a descriptor that lets every authenticated
// user wait for it and release it and gives SYSTEM and the administrators
// full access, or opens it when it exists. When that is refused (another
// program created it under a descriptor that grants those two rights only),
// opens it with OpenMutex for them. Only when the global name cannot be used
// at all, the same in the session's namespace.
ControllerMutex openControllerMutex();

// A claim named `name` (without its namespace) in the global namespace, under
// the lock's descriptor, so that every program of every session and rights
// level sees it: vornhost's claim on a fan (host/device/fanClaim.h). The
// handle, when it was created by this call; null with *heldElsewhere set when
// another program holds it already, or with it clear when the name cannot be
// used at all.
HANDLE createNamedClaim(const char *name, bool *heldElsewhere);

// Whether some program holds the claim named `name`.
bool namedClaimHeld(const char *name);
