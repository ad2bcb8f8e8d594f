#include "poller/pollerLifecycle.h"

#include <atomic>

#include "controller/deviceLock.h"
#include "poller/pollThread.h"
#include "poller/settingsBox.h"
#include "state/moduleState.h"

const char kCantStartPoller[] = "CreateThread: Can't start the poller.";

namespace {

// Guards pollThread and retiredPoller; only held for a few calls.
SRWLOCK lifecycleLock = SRWLOCK_INIT;

// The handle of a poller whose loop ended, not closed yet.
HANDLE retiredPoller = nullptr;

// Set by a new poller once it runs its own code.
std::atomic<bool> entered{false};

// The thread id of the newest poller: the thread whose box the unload closes.
std::atomic<DWORD> pollerThreadId{0};

// How long a start waits for its thread to get past the loader, and how
// long anyone waits for a stopped thread to be gone.
constexpr DWORD kThreadStartWaitMs = 2000;
constexpr DWORD kThreadEndWaitMs = 2000;

// How long a poller outside any cycle gets to take its exit: it is in, or a
// few instructions from, one of its alertable waits.
constexpr DWORD kExitAnswerWaitMs = 1000;

// A system function called as an asynchronous procedure call: SetEvent and
// ExitThread take one pointer-sized argument, as such a call does. Their
// addresses come from the import table, so they are the system's own code.
PAPCFUNC asProcedureCall(void (*function)())
{
    return reinterpret_cast<PAPCFUNC>(function);
}

// Queues the poller's exit (see pollerLifecycle.h): SetEvent(answered), then
// ExitThread(0). True only when both are queued; answered is then set once
// the thread is inside the system for good.
bool queueExit(HANDLE thread, HANDLE answered)
{
    return answered != nullptr &&
           QueueUserAPC(asProcedureCall(reinterpret_cast<void (*)()>(&SetEvent)), thread,
                        reinterpret_cast<ULONG_PTR>(answered)) != 0 &&
           QueueUserAPC(asProcedureCall(reinterpret_cast<void (*)()>(&ExitThread)), thread, 0) != 0;
}

// Ends a poller thread and closes its handle. A thread that does not take
// its queued exit within answerWaitMs is terminated: it holds nothing then
// (parked, or cut off inside the bridge library), and a terminated thread
// does not pass through the loader on its way out. A thread that took its
// exit is only awaited outside the loader lock, which its exit needs.
// Returns true when the thread will not touch `answered` any more.
bool endPoller(HANDLE thread, bool exitQueued, HANDLE answered, DWORD answerWaitMs, bool underLoaderLock)
{
    bool done = true;
    if (exitQueued && WaitForSingleObject(answered, answerWaitMs) == WAIT_OBJECT_0) {
        if (!underLoaderLock)
            WaitForSingleObject(thread, kThreadEndWaitMs);
    } else {
        TerminateThread(thread, 0);
        done = WaitForSingleObject(thread, kThreadEndWaitMs) == WAIT_OBJECT_0;
    }
    CloseHandle(thread);
    return done;
}

// A poller's end: asked to leave by itself (the exit queued) or stopped.
struct Ending {
    HANDLE thread = nullptr;
    HANDLE answered = nullptr;
    bool queued = false;

    Ending(HANDLE pollerThread, bool askToLeave) : thread(pollerThread)
    {
        if (thread == nullptr || !askToLeave)
            return;
        answered = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        queued = queueExit(thread, answered);
    }
    void finish(DWORD answerWaitMs, bool underLoaderLock)
    {
        if (thread == nullptr)
            return;
        // An event the thread may still set stays open.
        if (endPoller(thread, queued, answered, answerWaitMs, underLoaderLock) && answered != nullptr)
            CloseHandle(answered);
        thread = nullptr;
    }
};

// Takes the lifecycle lock without ever blocking inside the lock itself: a
// thread stopped by the unload while it waits must not stay queued in the
// lock (the poller retiring just as the host unloads).
void lockLifecycle()
{
    while (!TryAcquireSRWLockExclusive(&lifecycleLock))
        Sleep(1);
}

// Keeps the bridge library loaded for the rest of the process once the
// plug-in starts a poller. An unload can cut a cycle off inside the library;
// a thread or callback the vendor's library runs for that call would run on
// in unmapped code if the library went away with this plug-in, its only
// user. The loader's pin is taken on the host's thread, outside the loader
// lock that the call takes, before any cycle can start; the plug-in imports
// the library, so it is loaded and the call cannot fail for want of it.
void pinBridgeLibrary()
{
    HMODULE bridge = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_PIN, "FTD2XX.dll", &bridge);
}

// The device a cycle cut off by the unload left open, if any: cleared first,
// so that it is closed once whatever happens to this call. That cycle was
// stopped inside the bridge library, maybe holding a lock of the library's
// own, so a call into the library here, under the loader lock, could wait
// forever. The close runs instead on a thread of its own whose start routine
// is the library's FT_Close itself (the library is pinned): it starts once
// the unload has released the loader lock and never runs this module's code;
// should the library's lock never come free, only that thread waits. Without
// such a thread the handle stays open rather than risk the host's unload.
void closeCutOffDevice()
{
    FT_HANDLE handle = deviceHandle;
    deviceHandle = nullptr;
    if (handle == nullptr)
        return;
    const HMODULE bridge = GetModuleHandleA("FTD2XX.dll");
    const FARPROC close = bridge != nullptr ? GetProcAddress(bridge, MAKEINTRESOURCEA(FT_CLOSE_ORDINAL)) : nullptr;
    if (close == nullptr)
        return;
    constexpr SIZE_T kCloserStackReserve = 64 * 1024;
    HANDLE closer = CreateThread(nullptr, kCloserStackReserve,
                                 reinterpret_cast<LPTHREAD_START_ROUTINE>(reinterpret_cast<void (*)()>(close)), handle,
                                 STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    if (closer != nullptr)
        CloseHandle(closer);
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
        // Parked: it leaves at once, and here, outside the loader lock, its
        // end can be awaited.
        Ending(retiredPoller, true).finish(kExitAnswerWaitMs, false);
        retiredPoller = nullptr;
    }
    if (pollThread.load() == nullptr) {
        pinBridgeLibrary();
        entered.store(false);
        HANDLE thread = CreateThread(nullptr, kPollerStackReserve, pollThreadProc, nullptr,
                                     STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
        pollThread.store(thread);
        if (thread == nullptr) {
            // The meters say so instead of showing the zero frame as readings;
            // a later start's first cycle replaces the text.
            lastError.store(kCantStartPoller);
        } else {
            const DWORD start = GetTickCount();
            while (!entered.load() && GetTickCount() - start < kThreadStartWaitMs)
                Sleep(1);
        }
    }
    ReleaseSRWLockExclusive(&lifecycleLock);
}

void pollerEntered()
{
    pollerThreadId.store(GetCurrentThreadId());
    entered.store(true);
}

void parkPoller()
{
    for (;;)
        SleepEx(INFINITE, TRUE);
}

void retirePoller()
{
    lockLifecycle();
    retiredPoller = pollThread.exchange(nullptr);
    ReleaseSRWLockExclusive(&lifecycleLock);
}

void stopPoller()
{
    // Only the poller's own thread can end its box, so that comes first.
    closeSettingsBox(pollerThreadId.load());

    lockLifecycle();
    HANDLE running = pollThread.exchange(nullptr);
    HANDLE retired = retiredPoller;
    retiredPoller = nullptr;
    ReleaseSRWLockExclusive(&lifecycleLock);

    // A cycle in progress ends within the device's read time-out; holding the
    // device lock keeps the next one from starting.
    const bool deviceHeld = acquireDevice(kLongestCycleMs);
    // Asked to leave only outside any cycle: a poller cut off in a cycle may
    // be inside the bridge library, whose call must not see its thread exit.
    Ending(retired, true).finish(kExitAnswerWaitMs, true);
    Ending(running, deviceHeld).finish(kExitAnswerWaitMs, true);
    closePollTimer();
    // Still set only when a cycle overran the bound and was cut off.
    closeCutOffDevice();
    if (deviceHeld)
        releaseDevice();
    reenableBoxOwner();
    pollerThreadId.store(0);
}
