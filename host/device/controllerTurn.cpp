#include "host/device/controllerTurn.h"

#include <atomic>
#include <cstdio>

#include "controller/controllerMutex.h"
#include "core/controllerLock.h"

const char kControllerBusy[] = "vornhost: another program kept the controller for 5 s; nothing was exchanged";

namespace {

// Said once a run, at the first turn: the programs of other sessions (or of
// every session, with no lock at all) are then kept apart only by the driver.
void sayWhenNotGlobal(const ControllerMutex &mutex)
{
    static std::atomic<bool> said{false};
    if (mutex.global || said.exchange(true))
        return;
    std::fprintf(stderr, "vornhost: the controller's lock in the global namespace cannot be used (error %lu); %s\n",
                 mutex.globalError,
                 mutex.handle != nullptr ? "taking turns with the programs of this session only"
                                         : "taking no turns: only the driver keeps programs apart");
}

} // namespace

ControllerTurn::ControllerTurn(DWORD boundMs, HANDLE cancel)
{
    const ControllerMutex mutex = openControllerMutex();
    sayWhenNotGlobal(mutex);
    lock_ = mutex.handle;
    if (lock_ == nullptr) {
        taken_ = true;
        return;
    }
    // Abandoned: the last holder died holding it, and it is ours now.
    const HANDLE waits[] = {lock_, cancel};
    const DWORD result = WaitForMultipleObjects(cancel != nullptr ? 2 : 1, waits, FALSE, boundMs);
    taken_ = result == WAIT_OBJECT_0 || result == WAIT_ABANDONED_0;
}

ControllerTurn::~ControllerTurn()
{
    if (lock_ == nullptr)
        return;
    if (taken_)
        ReleaseMutex(lock_);
    CloseHandle(lock_);
}
