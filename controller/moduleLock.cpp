#include "controller/moduleLock.h"

#include <atomic>

#include "controller/sharedLocks.h"

namespace {

std::atomic<HANDLE> moduleLock{nullptr};

// Set by the unload (manual reset), waited for beside the lock: a fan command
// waiting for its turn then gives up at once. `leaving` stays true from then
// on, for a command that was about to wait.
std::atomic<HANDLE> unloadStarted{nullptr};
std::atomic<bool> leaving{false};

HANDLE createLock()
{
    // Neither name to be had (another kind of object holds both): a lock of
    // this process alone still keeps the poller and the fan command apart.
    const HANDLE shared = openControllerLock().handle;
    return shared != nullptr ? shared : CreateMutexA(nullptr, FALSE, nullptr);
}

// Stores a handle made on a host thread unless another host thread was
// quicker, whose handle stays.
void keepFirst(std::atomic<HANDLE> &slot, HANDLE made)
{
    HANDLE expected = nullptr;
    if (made != nullptr && !slot.compare_exchange_strong(expected, made))
        CloseHandle(made);
}

void closeSlot(std::atomic<HANDLE> &slot)
{
    HANDLE handle = slot.exchange(nullptr);
    if (handle != nullptr)
        CloseHandle(handle);
}

bool taken(DWORD result)
{
    // An abandoned mutex is ours now: its last holder died holding it.
    return result == WAIT_OBJECT_0 || result == WAIT_ABANDONED;
}

} // namespace

bool openModuleLock()
{
    if (unloadStarted.load() == nullptr)
        keepFirst(unloadStarted, CreateEventA(nullptr, TRUE, FALSE, nullptr));
    if (moduleLock.load() == nullptr)
        keepFirst(moduleLock, createLock());
    return moduleLock.load() != nullptr;
}

void closeModuleLock()
{
    closeSlot(moduleLock);
    closeSlot(unloadStarted);
    leaving.store(false);
}

void letWaitersGo()
{
    leaving.store(true);
    HANDLE event = unloadStarted.load();
    if (event != nullptr)
        SetEvent(event);
}

void letWaitersIn()
{
    // The event first: a command that sees `leaving` false must not find the
    // event still set.
    HANDLE event = unloadStarted.load();
    if (event != nullptr)
        ResetEvent(event);
    leaving.store(false);
}

bool takeTurn(DWORD timeoutMs)
{
    const bool open = openModuleLock();
    // Seen after the event was made, so an unload that began later sets it.
    if (leaving.load())
        return false;
    if (!open)
        return true;
    const HANDLE lock = moduleLock.load();
    const HANDLE unload = unloadStarted.load();
    if (unload == nullptr)
        return taken(WaitForSingleObject(lock, timeoutMs));
    // The unload's event first: when both are signalled, the lowest wins and
    // the lock is left alone.
    const HANDLE either[] = {unload, lock};
    const DWORD result = WaitForMultipleObjects(2, either, FALSE, timeoutMs);
    return result == WAIT_OBJECT_0 + 1 || result == WAIT_ABANDONED_0 + 1;
}

bool takeTurnAlertable(DWORD timeoutMs)
{
    HANDLE lock = moduleLock.load();
    if (lock == nullptr)
        return true;
    const DWORD start = GetTickCount();
    for (;;) {
        const DWORD elapsed = GetTickCount() - start;
        const DWORD result = WaitForSingleObjectEx(lock, elapsed < timeoutMs ? timeoutMs - elapsed : 0, TRUE);
        // A queued call that returned (none of ours does) only resumes the wait.
        if (result != WAIT_IO_COMPLETION)
            return taken(result);
    }
}

void endTurn()
{
    HANDLE lock = moduleLock.load();
    if (lock != nullptr)
        ReleaseMutex(lock);
}
