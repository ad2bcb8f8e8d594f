// Another program's turn on the controller: a thread of the test with its
// own handle on the named lock that every program takes (as a second process
// would hold it), kept until the object goes.
#pragma once

#include <windows.h>

#include <string>

#include "core/turnTaking.h"

class TurnHolder {
public:
    // Returns once the turn is held (or after 5 s: see held()).
    // Any named mutex will do: the controller's lock by default, or a fan's
    // claim ("Global\\VORN fan claim VORN0000 fan 0"), owned as another
    // program would own it.
    explicit TurnHolder(const std::string &lockName = kControllerLockName);
    ~TurnHolder();
    TurnHolder(const TurnHolder &) = delete;
    TurnHolder &operator=(const TurnHolder &) = delete;

    bool held() const { return held_; }

private:
    static DWORD WINAPI hold(LPVOID self);
    const std::string lockName_;
    HANDLE taken_ = nullptr, release_ = nullptr, thread_ = nullptr;
    bool held_ = false;
};

// The controller's lock as a more privileged program creates it first: under
// a descriptor that grants everyone waiting and releasing only and denies the
// standard rights (without the denial Wine would still grant its one user
// full access), so that a CreateMutex asking for full access is refused with
// ERROR_ACCESS_DENIED, as on Windows. The creator's handle, to be closed by
// the caller; null if it could not be made, or existed already.
HANDLE createLockGrantingWaitAndReleaseOnly();
