#include "host/device/controllerTurn.h"

#include "core/controllerLock.h"

const char kControllerBusy[] = "vornhost: another program kept the controller for 5 s; nothing was exchanged";

ControllerTurn::ControllerTurn()
{
    lock_ = CreateMutexA(nullptr, FALSE, kControllerLockName);
    if (lock_ == nullptr) {
        taken_ = true;
        return;
    }
    // Abandoned: the last holder died holding it, and it is ours now.
    const DWORD result = WaitForSingleObject(lock_, kControllerTurnMs);
    taken_ = result == WAIT_OBJECT_0 || result == WAIT_ABANDONED;
}

ControllerTurn::~ControllerTurn()
{
    if (lock_ == nullptr)
        return;
    if (taken_)
        ReleaseMutex(lock_);
    CloseHandle(lock_);
}
