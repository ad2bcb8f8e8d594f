#include "poller/pollThread.h"

#include "controller/deviceConnection.h"
#include "controller/deviceLock.h"
#include "core/pollInterval.h"
#include "poller/pollerLifecycle.h"
#include "settings/settingsStore.h"
#include "state/moduleState.h"

const char kCantCreateTimer[] = "Can't create timer.";
const char kCantStartTimer[] = "Can't start timer.";
const char kWaitFailed[] = "Error in WaitForSingleObject.";
const char kCantResetTimer[] = "Can't reset timer.";

namespace {

// The cycle reads into this private buffer; only a complete frame is
// published to the meters (see readStatus), so they never see a partial
// or failed read.
uint8_t pollBuffer[kStatusFrameSize];

// The cycle goes before every waiting command, so it waits for at most the
// one command holding the device when it asks: one open, write and close.
// Only a command that keeps the device twice the longest cycle makes the
// cycle give up; it is skipped and the next one tries again.
constexpr DWORD kDeviceWaitMs = 2 * kLongestCycleMs;

bool arm(HANDLE timer, const LARGE_INTEGER &dueTime)
{
    return SetWaitableTimer(timer, &dueTime, 0, nullptr, nullptr, FALSE) != 0;
}

} // namespace

void runPollCycle()
{
    if (!acquireDeviceFirst(kDeviceWaitMs))
        return;
    // Opened into a local and published once open: whatever a refusing
    // library leaves in the variable never looks like a held device.
    FT_HANDLE handle = nullptr;
    const char *outcome = openDevice(deviceNumber.load(), &handle);
    lastError.store(outcome);
    if (outcome == nullptr) {
        deviceHandle = handle;
        lastError.store(readStatus(handle, pollBuffer));
        // Cleared before the close: should the thread be stopped inside the
        // close, the teardown must not close the handle a second time.
        deviceHandle = nullptr;
        FT_Close(handle);
    }
    releaseDevice();
}

DWORD WINAPI pollThreadProc(LPVOID)
{
    pollerEntered();
    int32_t interval = 0;
    if (loadSettings(hostWindow.load(), &deviceNumber, &interval) != 0)
        parkPoller();

    HANDLE timer = CreateWaitableTimerA(nullptr, TRUE, nullptr);
    if (timer == nullptr) {
        lastError.store(kCantCreateTimer);
        parkPoller();
    }
    // Kept where the unload can close it when it stops the thread.
    pollTimer.store(timer);
    LARGE_INTEGER dueTime;
    dueTime.QuadPart = dueTimeFor(interval);
    if (!arm(timer, dueTime)) {
        lastError.store(kCantStartTimer);
        closePollTimer();
        parkPoller();
    }

    for (;;) {
        // The timer always fires: this wait lasts one interval at most.
        if (WaitForSingleObject(timer, INFINITE) == WAIT_FAILED) {
            lastError.store(kWaitFailed);
            break;
        }
        runPollCycle();
        if (!arm(timer, dueTime)) {
            lastError.store(kCantResetTimer);
            break;
        }
    }
    closePollTimer();
    retirePoller();
    parkPoller();
}
