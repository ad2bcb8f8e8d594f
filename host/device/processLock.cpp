#include "host/device/processLock.h"

#include <atomic>
#include <cstdio>

#include "controller/sharedLocks.h"
#include "core/turnTaking.h"

const char kControllerBusy[] = "vornhost: another program kept the controller for 5 s; nothing was exchanged";

namespace {

void toStderr(const std::string &text)
{
    std::fprintf(stderr, "vornhost: %s\n", text.c_str());
}

std::atomic<LockNotice> lockNotice{toStderr};

// The controller's lock, opened at the first turn and kept open for the
// process's life, so that the global name exists for as long as this
// program may take turns and nobody can take it in between; Windows closes
// the handle when the process ends. A fallback is said then, once: the
// programs of other sessions (or of every session, with no lock at all) are
// kept apart only by the driver.
const OpenedLock &lockOfThisProcess()
{
    static const OpenedLock mutex = [] {
        const OpenedLock opened = openControllerLock();
        if (!opened.global)
            lockNotice.load()("the controller's lock in the global namespace cannot be used (error " +
                              std::to_string(opened.globalError) + "); " +
                              (opened.handle != nullptr ? "taking turns with the programs of this session only"
                                                        : "taking no turns: only the driver keeps programs apart"));
        return opened;
    }();
    return mutex;
}

} // namespace

void sendLockNoticeTo(LockNotice notice)
{
    lockNotice.store(notice);
}

bool takeProcessTurn(DWORD boundMs, HANDLE cancel)
{
    const HANDLE lock = lockOfThisProcess().handle;
    if (lock == nullptr)
        return true;
    // Abandoned: the last holder died holding it, and it is ours now.
    const HANDLE waits[] = {lock, cancel};
    const DWORD result = WaitForMultipleObjects(cancel != nullptr ? 2 : 1, waits, FALSE, boundMs);
    return result == WAIT_OBJECT_0 || result == WAIT_ABANDONED_0;
}

void endProcessTurn()
{
    const HANDLE lock = lockOfThisProcess().handle;
    if (lock != nullptr)
        ReleaseMutex(lock);
}
