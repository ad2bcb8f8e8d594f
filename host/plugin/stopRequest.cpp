#include "host/plugin/stopRequest.h"

namespace {

// Longer than the exit duties can take (the plug-in's turn and vornhost's
// own, 5 s each); Windows itself allows a closed console about 5 s.
constexpr DWORD kExitDutiesWaitMs = 15000;

std::atomic<bool> stopping{false};
// Both kept for the process's life: a console handler may still be waiting
// on dutiesDone as the process ends.
std::atomic<StopCause> firstCause{StopCause::None};
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
            WaitForSingleObject(dutiesDone, kExitDutiesWaitMs);
        return TRUE;
    }
    return FALSE;
}

} // namespace

const char *stopCauseName(StopCause cause)
{
    // In the order of the enumeration.
    static const char *const kNames[] = {"none", "count", "ctrl-c", "ctrl-break", "close", "logoff", "shutdown"};
    return kNames[static_cast<int>(cause)];
}

void watchConsoleStop()
{
    if (stopSet == nullptr) {
        stopSet = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        dutiesDone = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    }
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

void requestStop(StopCause cause)
{
    StopCause none = StopCause::None;
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

void exitDutiesDone()
{
    if (dutiesDone != nullptr)
        SetEvent(dutiesDone);
}
