#include "poller/pollThread.h"

#include "controller/deviceConnection.h"
#include "controller/deviceLock.h"
#include "plugin/moduleState.h"
#include "poller/pollInterval.h"
#include "poller/pollerLifecycle.h"
#include "settings/settingsStore.h"

const char kCantCreateTimer[] = "Can't create timer.";
const char kCantStartTimer[] = "Can't start timer.";
const char kWaitFailed[] = "Error in WaitForSingleObject.";
const char kCantResetTimer[] = "Can't reset timer.";

namespace {

// The cycle reads into this private buffer; only a complete frame is
// published to the meters (see readFromVorn), so they never see a partial
// or failed read.
uint8_t pollBuffer[kStatusFrameSize];

// A fan command holds the device for one open, write and close; waiting
// twice the longest cycle for it is plenty. A cycle that cannot get the
// device is skipped and the next one tries again.
constexpr DWORD kDeviceWaitMs = 2 * kLongestCycleMs;

bool arm(HANDLE timer, const LARGE_INTEGER &dueTime)
{
    return SetWaitableTimer(timer, &dueTime, 0, nullptr, nullptr, FALSE) != 0;
}

} // namespace

void runPollCycle()
{
    if (!acquireDevice(kDeviceWaitMs))
        return;
    const char *outcome = openConnection(deviceNumber.load(), &deviceHandle);
    lastError.store(outcome);
    if (outcome != nullptr) {
        // Whatever a refusing library left in the variable is no handle.
        deviceHandle = nullptr;
    } else {
        lastError.store(readFromVorn(deviceHandle, pollBuffer));
        FT_Close(deviceHandle);
        deviceHandle = nullptr;
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
    LARGE_INTEGER dueTime;
    dueTime.QuadPart = dueTimeFor(interval);
    if (!arm(timer, dueTime)) {
        lastError.store(kCantStartTimer);
        CloseHandle(timer);
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
    CloseHandle(timer);
    retirePoller();
    parkPoller();
}
