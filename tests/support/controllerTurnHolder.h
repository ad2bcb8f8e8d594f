// Another program's turn on the controller: a thread of the test with its
// own handle on the named lock that every program takes (as a second process
// would hold it), kept until the object goes.
#pragma once

#include <windows.h>

class ControllerTurnHolder {
public:
    // Returns once the turn is held (or after 5 s: see held()).
    ControllerTurnHolder();
    ~ControllerTurnHolder();
    ControllerTurnHolder(const ControllerTurnHolder &) = delete;
    ControllerTurnHolder &operator=(const ControllerTurnHolder &) = delete;

    bool held() const { return held_; }

private:
    static DWORD WINAPI hold(LPVOID self);
    HANDLE taken_ = nullptr, release_ = nullptr, thread_ = nullptr;
    bool held_ = false;
};
