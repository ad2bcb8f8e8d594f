#include "controller/fanCommand.h"

#include <atomic>

#include "controller/codeInUse.h"
#include "controller/deviceConnection.h"
#include "controller/deviceLock.h"
#include "core/fanCommand.h"
#include "state/moduleState.h"

namespace {

// The fan commands inside the plug-in. Leaving, a command only counts itself
// out: a call made after that (setting an event for the unload, say) would
// return into the module after the unload had seen it gone.
std::atomic<long> inside{0};

// Counts a command from its start to the moment it has its result.
struct CommandInside {
    CommandInside() { inside.fetch_add(1); }
    ~CommandInside() { inside.fetch_sub(1); }
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
    // Rare (a host that unloads with calls in flight) and short (the waiters
    // were let go): the count is looked at every millisecond.
    const DWORD start = GetTickCount();
    while (inside.load() != 0) {
        if (GetTickCount() - start >= waitMs)
            return false;
        Sleep(1);
    }
    // The last ones out may still be on their way back to the host.
    const DWORD spent = GetTickCount() - start;
    return awaitNoOtherThreadHere(spent < waitMs ? waitMs - spent : 0);
}
