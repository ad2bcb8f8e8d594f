#include "poller/pollerLifecycle.h"

#include "controller/deviceLock.h"
#include "plugin/moduleState.h"
#include "poller/pollThread.h"

namespace {

// Guards pollThread and retiredPoller; only held for a few calls.
SRWLOCK lifecycleLock = SRWLOCK_INIT;

// The handle of a poller whose loop ended, not closed yet.
HANDLE retiredPoller = nullptr;

// A retiring thread is a few instructions from its end.
constexpr DWORD kThreadEndWaitMs = 2000;

// Stops a thread (no effect on one that has ended), waits until it is gone
// and closes its handle. Safe under the loader lock: a terminated thread
// does not pass through DllMain on its way out.
void terminateAndClose(HANDLE thread)
{
    TerminateThread(thread, 0);
    WaitForSingleObject(thread, kThreadEndWaitMs);
    CloseHandle(thread);
}

} // namespace

void startPollerIfIdle()
{
    AcquireSRWLockExclusive(&lifecycleLock);
    if (retiredPoller != nullptr) {
        // Not under the loader lock here, so its normal end can be awaited.
        WaitForSingleObject(retiredPoller, kThreadEndWaitMs);
        CloseHandle(retiredPoller);
        retiredPoller = nullptr;
    }
    if (pollThread.load() == nullptr)
        pollThread.store(CreateThread(nullptr, 0, pollThreadProc, nullptr, 0, nullptr));
    ReleaseSRWLockExclusive(&lifecycleLock);
}

void retirePoller()
{
    AcquireSRWLockExclusive(&lifecycleLock);
    retiredPoller = pollThread.exchange(nullptr);
    ReleaseSRWLockExclusive(&lifecycleLock);
}

void stopPoller(bool processExit)
{
    if (processExit) {
        // The system has ended every other thread, maybe mid-cycle: no lock
        // can be trusted, and nothing else runs.
        if (deviceHandle != nullptr) {
            FT_Close(deviceHandle);
            deviceHandle = nullptr;
        }
        for (HANDLE thread : {pollThread.exchange(nullptr), retiredPoller}) {
            if (thread != nullptr)
                CloseHandle(thread);
        }
        retiredPoller = nullptr;
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
    // Still set only when a cycle overran the bound and was cut off.
    if (deviceHandle != nullptr) {
        FT_Close(deviceHandle);
        deviceHandle = nullptr;
    }
    if (deviceHeld)
        releaseDevice();
}
