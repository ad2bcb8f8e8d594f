#include "host/process/stopRequest.h"

namespace {

std::atomic<bool> stopping{false};
// Both kept for the process's life: a console handler may still be waiting
// on dutiesDone as the process ends.
std::atomic<StopCause> firstCause{StopCause::None};
std::atomic<ULONGLONG> stopTick{0}; // GetTickCount64 at the first request; 0 before
HANDLE stopSet = nullptr;
HANDLE dutiesDone = nullptr;

// The console's events and what each asks for.
const struct {
    DWORD event;
    StopCause cause;
} kConsoleEvents[] = {
    {CTRL_C_EVENT, StopCause::CtrlC},           {CTRL_BREAK_EVENT, StopCause::CtrlBreak},
    {CTRL_CLOSE_EVENT, StopCause::Close},       {CTRL_LOGOFF_EVENT, StopCause::LogOff},
    {CTRL_SHUTDOWN_EVENT, StopCause::Shutdown},
};

BOOL WINAPI onConsoleEvent(DWORD event)
{
    for (const auto &known : kConsoleEvents) {
        if (known.event != event)
            continue;
        requestStop(known.cause);
        // After Ctrl-C or Ctrl-Break the program goes on to its exit duties;
        // after the others it ends as soon as this returns: not before them.
        if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT)
            awaitExitDuties();
        return TRUE;
    }
    return FALSE;
}

} // namespace

const char *stopCauseName(StopCause cause)
{
    // In the order of the enumeration.
    static const char *const kNames[] = {"none",   "count",    "ctrl-c", "ctrl-break", "close",
                                         "logoff", "shutdown", "stop",   "preshutdown"};
    return kNames[static_cast<int>(cause)];
}

void prepareStop()
{
    if (stopSet == nullptr) {
        stopSet = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        dutiesDone = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    }
}

void watchConsoleStop()
{
    prepareStop();
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

void requestStop(StopCause cause)
{
    StopCause none = StopCause::None;
    ULONGLONG never = 0;
    stopTick.compare_exchange_strong(never, GetTickCount64());
    firstCause.compare_exchange_strong(none, cause);
    stopping = true;
    if (stopSet != nullptr)
        SetEvent(stopSet);
}

StopCause stopRequested()
{
    return firstCause;
}

const std::atomic<bool> &stopFlag()
{
    return stopping;
}

HANDLE stopEvent()
{
    return stopSet;
}

DWORD exitTimeLeftMs()
{
    const ULONGLONG since = stopTick.load();
    if (since == 0)
        return kExitDeadlineMs;
    const ULONGLONG elapsed = GetTickCount64() - since;
    return elapsed >= kExitDeadlineMs ? 0 : static_cast<DWORD>(kExitDeadlineMs - elapsed);
}

void awaitExitDuties()
{
    if (dutiesDone != nullptr)
        WaitForSingleObject(dutiesDone, exitTimeLeftMs());
}

void exitDutiesDone()
{
    if (dutiesDone != nullptr)
        SetEvent(dutiesDone);
}
