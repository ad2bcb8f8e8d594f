#include "controller/fanCommand.h"

#include <atomic>

#include "controller/deviceConnection.h"
#include "controller/deviceLock.h"
#include "core/fanCommand.h"
#include "state/moduleState.h"

namespace {

// The fan commands inside the plug-in, two for each; bit 0 is set while the
// unload waits for them to leave, and the last to leave then sets allLeft.
std::atomic<long> inside{0};
std::atomic<HANDLE> allLeft{nullptr};

// Counts a command from its start to the moment it has its result; after
// that only the command's own return runs here (docs/lifecycle.md).
struct CommandInside {
    CommandInside() { inside.fetch_add(2); }
    ~CommandInside()
    {
        if (inside.fetch_sub(2) - 2 == 1)
            SetEvent(allLeft.load());
    }
};

} // namespace

const char *sendFanDuty(const char *fanText, const char *percentText)
{
    const CommandInside counted;
    uint8_t command[kFanCommandSize];
    const char *invalid = encodeFanCommand(fanText, percentText, command);
    if (invalid != nullptr)
        return invalid;
    const char *error = lastError.load();
    if (error != nullptr)
        return error;

    // While a poll cycle, another command or another program holds the
    // device, wait for our turn rather than drop the command; busy when the
    // turn did not come within the bound, or the unload let the waiters go.
    if (!acquireDevice(kControllerTurnMs))
        return kFanCommandBusy;
    FT_HANDLE handle = nullptr;
    const char *failure = openDevice(deviceNumber.load(), &handle);
    if (failure == nullptr) {
        failure = writeFanCommand(kImportedBridge, handle, command);
        FT_Close(handle);
    }
    releaseDevice();
    return failure;
}

bool awaitFanCommandsGone(DWORD waitMs)
{
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (event == nullptr)
        return inside.load() == 0;
    allLeft.store(event);
    const bool gone = inside.fetch_or(1) == 0 || WaitForSingleObject(event, waitMs) == WAIT_OBJECT_0;
    if (gone) {
        // Ready for a later start (a plug-in linked into a test program).
        inside.fetch_and(~1L);
        allLeft.store(nullptr);
        CloseHandle(event);
    }
    return gone;
}
