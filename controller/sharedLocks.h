// The named locks every program of this project opens the same way, under
// one descriptor: the controller's lock (core/turnTaking.h), opened by the
// plug-in in each host (controller/moduleLock.cpp) and by vornhost
// (host/device/processLock.cpp), each of which keeps its handle open for as
// long as it may take turns, and the fans' claims (host/device/fanClaim.h).
// It keeps no state: each call hands the caller a handle of its own to close.
// Which name is used when, and what the fallback costs: docs/lifecycle.md.
#pragma once

#include <windows.h>

// All a party needs: to wait for the lock and to release it.
constexpr DWORD kSharedLockRights = SYNCHRONIZE | MUTEX_MODIFY_STATE;

struct OpenedLock {
    // The lock, with kSharedLockRights only; null when neither name
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
OpenedLock openControllerLock();

// What became of taking a claim (host/device/fanClaim.h).
enum class ClaimOutcome {
    Taken,     // this thread owns it now (perhaps left abandoned by an owner that died)
    Owned,     // another thread or program owns it
    OtherKind, // the name is another kind of object's
    Refused,   // another program made it under a descriptor that refuses this one
    Unusable,  // any other failure, with its system error code
};

// Takes the claim named `name` (without its namespace) in the global
// namespace, so that every program of every session and rights level sees
// it: vornhost's claim on a fan. The mutex is created under the lock's
// descriptor, or opened, with kSharedLockRights, and then owned
// without waiting: a claim is its ownership, not the name's existence,
// which anyone may keep by holding the mutex open. The owned handle when
// taken; null otherwise, with `error` for Unusable. A mutex belongs to a
// thread: the thread that took a claim keeps it and lets it go.
HANDLE takeNamedClaim(const char *name, ClaimOutcome &outcome, DWORD &error);

// Lets go of a claim taken on this thread: released, and its handle closed.
void dropNamedClaim(HANDLE claim);

// Whether another thread or program owns the claim named `name`. A free
// claim is taken for that instant and let go again.
bool namedClaimHeld(const char *name);
