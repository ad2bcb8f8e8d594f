#include "poller/pollThread.h"

#include "controller/controllerTurn.h"
#include "controller/importedBridge.h"
#include "controller/moduleLock.h"
#include "core/pollInterval.h"
#include "poller/pollerLifecycle.h"
#include "poller/settingsBox.h"
#include "settings/settingsStore.h"
#include "state/moduleState.h"

const char kCantCreateTimer[] = "Can't create timer.";
const char kCantStartTimer[] = "Can't start timer.";
const char kWaitFailed[] = "Error in WaitForSingleObject.";
const char kCantResetTimer[] = "Can't reset timer.";
const char kPollDeviceBusy[] = "Poll: Device busy, status not read.";

namespace {

// The cycle reads into this private buffer; only a complete frame is
// published to the meters (publishStatusFrame), so they never see a partial
// or failed read.
uint8_t pollBuffer[kStatusFrameSize];

// How long a cycle waits for its turn on the device: the parties ahead of it
// each hold it for one exchange. Only when the device stays taken this long
// is the cycle skipped, saying so in lastError; the next one tries again.
constexpr DWORD kTurnWaitMs = 2 * kControllerTurnMs;

bool arm(HANDLE timer, const LARGE_INTEGER &dueTime)
{
    return SetWaitableTimer(timer, &dueTime, 0, nullptr, nullptr, FALSE) != 0;
}

// Waits for the timer alertably, so that the unload can end the poller here.
// A queued call that returns (none of ours does) only resumes the wait.
DWORD waitForTimer(HANDLE timer)
{
    DWORD result;
    do
        result = WaitForSingleObjectEx(timer, INFINITE, TRUE);
    while (result == WAIT_IO_COMPLETION);
    return result;
}

void exchange(ControllerTurn &turn)
{
    // The library writes the handle straight into deviceHandle, so the device
    // shows as held from the moment it opens: a cycle cut off inside a line
    // setting leaves the handle there for the unload to close. The turn
    // clears it there before its close, so that a cycle cut off inside the
    // close does not have its handle closed a second time.
    const char *opened = turn.openDevice(deviceNumber.load(), &deviceHandle);
    // Stored whatever it is: a good open clears an earlier failure text
    // before the read begins, so the meters show the last complete frame at
    // once; the read's outcome follows.
    lastError.store(opened);
    if (opened != nullptr)
        return;
    const char *read = turn.exchangeStatus(pollBuffer);
    if (read == nullptr)
        publishStatusFrame(pollBuffer);
    lastError.store(read);
}

} // namespace

void runPollCycle()
{
    ControllerTurn turn(kImportedBridge, takeTurnAlertable(kTurnWaitMs), endTurn);
    if (!turn.taken()) {
        // The meters must not show the last frame as if it were current.
        lastError.store(kPollDeviceBusy);
        return;
    }
    // Once the unload has begun no cycle starts.
    if (!beginCycle())
        return;
    exchange(turn);
    // Closed and let go before the cycle ends, which the unload waits for.
    turn.finish();
    endCycle();
}

DWORD WINAPI pollThreadProc(LPVOID)
{
    pollerEntered();
    int32_t interval = 0;
    const HWND owner = hostWindow.load();
    settingsBoxMayOpen(owner);
    const int failed = loadSettings(owner, &deviceNumber, &interval);
    settingsBoxClosed();
    if (failed != 0)
        parkPoller();

    HANDLE timer = CreateWaitableTimerA(nullptr, TRUE, nullptr);
    if (timer == nullptr) {
        lastError.store(kCantCreateTimer);
        parkPoller();
    }
    // Kept where the unload can close it when it ends the thread.
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
        if (waitForTimer(timer) == WAIT_FAILED) {
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
