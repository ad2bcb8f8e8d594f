#include "controller/fanCommand.h"

#include "controller/importedBridge.h"
#include "controller/moduleLock.h"
#include "core/fanCommand.h"
#include "state/moduleState.h"

const char *sendFanDuty(const char *fanText, const char *percentText)
{
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
    if (!takeTurn(kControllerTurnMs))
        return kFanCommandBusy;
    FT_HANDLE handle = nullptr;
    const char *failure = openDevice(deviceNumber.load(), &handle);
    if (failure == nullptr) {
        failure = writeFanCommand(kImportedBridge, handle, command);
        FT_Close(handle);
    }
    endTurn();
    return failure;
}
