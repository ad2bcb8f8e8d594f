// The hidden window through which Windows tells vornhost control that the
// session ends or that the computer resumed, on a thread of its own that
// always handles its messages, whatever the loop is waiting for:
// - WM_QUERYENDSESSION is answered at once (yes), and the shutdown is held
//   with a reason (ShutdownBlockReasonCreate) while the exit duties go out;
// - WM_ENDSESSION requests the stop (log-off or shutdown) and returns once
//   the exit duties are out or the exit's deadline has passed
//   (host/process/stopRequest.h), since Windows may end the process from then
//   on;
// - WM_POWERBROADCAST with PBT_APMRESUMEAUTOMATIC sets resumed().
#pragma once

#include <windows.h>

class StopWindow {
public:
    StopWindow() = default;
    ~StopWindow();
    StopWindow(const StopWindow &) = delete;
    StopWindow &operator=(const StopWindow &) = delete;

    // Starts the thread and waits (bounded) until its window exists; false
    // when it could not be made.
    bool start();
    // Set at each resume; the loop resets it (auto-reset).
    HANDLE resumed() const { return resumed_; }

private:
    static DWORD WINAPI run(void *self);

    HANDLE thread_ = nullptr;
    HANDLE ready_ = nullptr;
    HANDLE resumed_ = nullptr;
    DWORD threadId_ = 0;
};
