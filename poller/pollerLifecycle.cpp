#include "poller/pollerLifecycle.h"

#include <atomic>

#include "controller/moduleLock.h"
#include "poller/pollThread.h"
#include "poller/settingsBox.h"
#include "poller/threadEnding.h"
#include "state/callsInside.h"
#include "state/moduleState.h"

const char kCantStartPoller[] = "CreateThread: Can't start the poller.";

namespace {

// Guards pollThread and retiredPoller; held for a few instructions at a time.
SRWLOCK lifecycleLock = SRWLOCK_INIT;

// The handle of a poller whose loop ended, not closed yet.
HANDLE retiredPoller = nullptr;

// Set by a new poller once it runs its own code (auto-reset).
HANDLE pollerStarted = nullptr;
// Set by the poller when the cycle an unload waits for is over.
HANDLE cycleEnded = nullptr;

// The thread id of the newest poller: the thread whose box the unload closes.
std::atomic<DWORD> pollerThreadId{0};

// Where the poller stands with respect to the device, as far as an unload
// cares: between cycles it may be ended at once; in a cycle it may be inside
// the bridge library and must finish first.
enum Phase : int {
    kBetweenCycles,
    kInCycle,
    kInCycleUnloadWaits,
    kNoMoreCycles
};
std::atomic<int> phase{kBetweenCycles};

// Outside the loader lock (a start ending a retired poller).
constexpr DWORD kThreadStartWaitMs = 2000;
constexpr DWORD kAnswerWaitMs = 1000;
constexpr DWORD kThreadEndWaitMs = 2000;

// The unload's one budget (it runs under the loader lock, the host frozen):
// the box gets at most kBoxWaitMs; a cycle under way gets what is left but
// kAnswerReserveMs, kept for the poller's answer; kStopReserveMs is kept for
// ending a poller that did not answer.
constexpr DWORD kUnloadBudgetMs = 5000;
constexpr DWORD kBoxWaitMs = 2000;
constexpr DWORD kAnswerReserveMs = 1000;
constexpr DWORD kStopReserveMs = 500;

// Keeps the bridge library loaded for the rest of the process: a cycle cut
// off inside it may leave a thread of the library's own running. Taken on the
// host's thread, outside the loader lock, before any cycle can start.
void pinBridgeLibrary()
{
    HMODULE bridge = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_PIN, "FTD2XX.dll", &bridge);
}

// The device of a cycle the unload cut off, if it was open: closed once the
// unload is over by a thread whose start routine is the library's FT_Close,
// and only when the terminated poller was seen to end, since a library call
// beside a thread killed inside that library is undefined. Otherwise, or
// without such a thread, the handle is left to the process rather than risk
// the host (docs/lifecycle.md, "A cycle cut off").
void closeCutOffDevice(bool pollerEnded)
{
    FT_HANDLE handle = deviceHandle;
    deviceHandle = nullptr;
    if (handle == nullptr || !pollerEnded)
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

// The unload's side of the phase: no cycle may begin from now on. True when
// a cycle is under way; it tells cycleEnded when it is over.
bool stopCycles()
{
    int seen = phase.load();
    for (;;) {
        if (seen == kInCycleUnloadWaits || seen == kNoMoreCycles)
            return seen == kInCycleUnloadWaits;
        const int next = seen == kInCycle ? kInCycleUnloadWaits : kNoMoreCycles;
        if (phase.compare_exchange_weak(seen, next))
            return next == kInCycleUnloadWaits;
    }
}

void closeEvent(HANDLE &event)
{
    if (event != nullptr)
        CloseHandle(event);
    event = nullptr;
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
        // Parked: it answers at once, and here, outside the loader lock, its
        // exit can be awaited.
        ThreadEnding retired(retiredPoller);
        retiredPoller = nullptr;
        retired.askToLeave();
        const DWORD now = GetTickCount();
        retired.waitForAnswer(now + kAnswerWaitMs);
        retired.stopIfNotAnswered(now + kAnswerWaitMs + kThreadEndWaitMs);
        retired.awaitExit(kThreadEndWaitMs);
    }
    if (pollThread.load() == nullptr) {
        openModuleLock();
        pinBridgeLibrary();
        if (pollerStarted == nullptr)
            pollerStarted = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        if (cycleEnded == nullptr)
            cycleEnded = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        phase.store(kBetweenCycles);
        if (pollerStarted != nullptr)
            ResetEvent(pollerStarted); // a thread that entered after its start gave up
        HANDLE thread = CreateThread(nullptr, 0, pollThreadProc, nullptr, 0, nullptr);
        pollThread.store(thread);
        if (thread == nullptr) {
            // The meters say so instead of showing the zero frame as readings;
            // a later start's first cycle replaces the text.
            lastError.store(kCantStartPoller);
        } else if (pollerStarted != nullptr) {
            // Until the thread is past the loader it could not take a queued
            // exit, and an unload could not end it cleanly.
            WaitForSingleObject(pollerStarted, kThreadStartWaitMs);
        }
    }
    ReleaseSRWLockExclusive(&lifecycleLock);
}

void pollerEntered()
{
    pollerThreadId.store(GetCurrentThreadId());
    if (pollerStarted != nullptr)
        SetEvent(pollerStarted);
}

bool beginCycle()
{
    int expected = kBetweenCycles;
    return phase.compare_exchange_strong(expected, kInCycle);
}

void endCycle()
{
    int expected = kInCycle;
    if (!phase.compare_exchange_strong(expected, kBetweenCycles)) {
        // The unload is waiting for this cycle.
        phase.store(kNoMoreCycles);
        SetEvent(cycleEnded);
    }
}

void parkPoller()
{
    for (;;)
        SleepEx(INFINITE, TRUE);
}

void retirePoller()
{
    AcquireSRWLockExclusive(&lifecycleLock);
    retiredPoller = pollThread.exchange(nullptr);
    ReleaseSRWLockExclusive(&lifecycleLock);
}

bool stopPoller()
{
    const DWORD deadline = GetTickCount() + kUnloadBudgetMs;
    // Fan commands waiting for their turn give up now (busy); the lock stays
    // open for as long as any call is inside.
    letWaitersGo();
    // Only the poller's own thread can end its box, so that comes first.
    closeSettingsBox(pollerThreadId.load(), kBoxWaitMs);

    AcquireSRWLockExclusive(&lifecycleLock);
    ThreadEnding running(pollThread.exchange(nullptr));
    ThreadEnding retired(retiredPoller);
    retiredPoller = nullptr;
    ReleaseSRWLockExclusive(&lifecycleLock);

    // A cycle under way ends within the device's read time-out; one that
    // outlasts the budget is cut off (the thread is terminated inside it).
    bool cutOff = false;
    if (stopCycles()) {
        const bool ended = cycleEnded != nullptr &&
                           WaitForSingleObject(cycleEnded, msUntil(deadline - kAnswerReserveMs)) == WAIT_OBJECT_0;
        cutOff = !ended && phase.load() != kNoMoreCycles;
    }
    if (!cutOff)
        running.askToLeave();
    retired.askToLeave();
    running.waitForAnswer(deadline - kStopReserveMs);
    retired.waitForAnswer(deadline - kStopReserveMs);
    running.stopIfNotAnswered(deadline);
    retired.stopIfNotAnswered(deadline);

    closePollTimer();
    if (cutOff)
        closeCutOffDevice(running.ended());
    if (callsInside() == 0)
        closeModuleLock();
    // A poller not seen out may still set its events.
    const bool pollerOut = running.out() && retired.out();
    if (pollerOut) {
        closeEvent(pollerStarted);
        closeEvent(cycleEnded);
    }
    reenableBoxOwner();
    pollerThreadId.store(0);
    return pollerOut;
}
