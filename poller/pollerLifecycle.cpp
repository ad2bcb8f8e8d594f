#include "poller/pollerLifecycle.h"

#include <atomic>
#include <initializer_list>

#include "controller/deviceLock.h"
#include "poller/pollThread.h"
#include "state/moduleState.h"

namespace {

// Guards pollThread and retiredPoller; only held for a few calls.
SRWLOCK lifecycleLock = SRWLOCK_INIT;

// The handle of a poller whose loop ended, not closed yet.
HANDLE retiredPoller = nullptr;

// Set by a new poller once it runs its own code.
std::atomic<bool> entered{false};

// How long a start waits for its thread to get past the loader, and how
// long anyone waits for a stopped thread to be gone.
constexpr DWORD kThreadStartWaitMs = 2000;
constexpr DWORD kThreadEndWaitMs = 2000;

// Stops a thread, waits until it is gone and closes its handle. Safe under
// the loader lock: a terminated thread does not pass through the loader on
// its way out.
void terminateAndClose(HANDLE thread)
{
    TerminateThread(thread, 0);
    WaitForSingleObject(thread, kThreadEndWaitMs);
    CloseHandle(thread);
}

// Takes the lifecycle lock without ever blocking inside the lock itself: a
// thread stopped by the unload while it waits must not stay queued in the
// lock (the poller retiring just as the host unloads).
void lockLifecycle()
{
    while (!TryAcquireSRWLockExclusive(&lifecycleLock))
        Sleep(1);
}

// The device a stopped cycle left open, if any: cleared first, so that it is
// closed once whatever happens to this call.
void closeDeviceHandle()
{
    FT_HANDLE handle = deviceHandle;
    deviceHandle = nullptr;
    if (handle != nullptr)
        FT_Close(handle);
}

} // namespace

std::atomic<HANDLE> pollTimer{nullptr};

void closePollTimer()
{
    HANDLE timer = pollTimer.exchange(nullptr);
    if (timer != nullptr)
        CloseHandle(timer);
}

void startPollerIfIdle()
{
    AcquireSRWLockExclusive(&lifecycleLock);
    if (retiredPoller != nullptr) {
        terminateAndClose(retiredPoller); // parked: holds nothing
        retiredPoller = nullptr;
    }
    if (pollThread.load() == nullptr) {
        entered.store(false);
        HANDLE thread = CreateThread(nullptr, 0, pollThreadProc, nullptr, 0, nullptr);
        pollThread.store(thread);
        if (thread != nullptr) {
            const DWORD start = GetTickCount();
            while (!entered.load() && GetTickCount() - start < kThreadStartWaitMs)
                Sleep(1);
        }
    }
    ReleaseSRWLockExclusive(&lifecycleLock);
}

void pollerEntered()
{
    entered.store(true);
}

void parkPoller()
{
    for (;;)
        Sleep(INFINITE);
}

void retirePoller()
{
    lockLifecycle();
    retiredPoller = pollThread.exchange(nullptr);
    ReleaseSRWLockExclusive(&lifecycleLock);
}

void stopPoller(bool processExit)
{
    if (processExit) {
        // The system has ended every other thread, maybe mid-cycle: no lock
        // can be trusted, and nothing else runs.
        closeDeviceHandle();
        for (HANDLE thread : {pollThread.exchange(nullptr), retiredPoller}) {
            if (thread != nullptr)
                CloseHandle(thread);
        }
        retiredPoller = nullptr;
        closePollTimer();
        return;
    }

    // A cycle in progress ends within the device's read time-out; holding the
    // device lock keeps the next one from starting.
    const bool deviceHeld = acquireDevice(kLongestCycleMs);
    AcquireSRWLockExclusive(&lifecycleLock);
    for (HANDLE thread : {pollThread.exchange(nullptr), retiredPoller}) {
        if (thread != nullptr)
            terminateAndClose(thread);
    }
    retiredPoller = nullptr;
    ReleaseSRWLockExclusive(&lifecycleLock);
    closePollTimer();
    // Still set only when a cycle overran the bound and was cut off.
    closeDeviceHandle();
    if (deviceHeld)
        releaseDevice();
}
