#include "controller/fanCommand.h"

#include "controller/controllerTurn.h"
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
    ControllerTurn turn(kImportedBridge, takeTurn(kControllerTurnMs), endTurn);
    if (!turn.taken())
        return kFanCommandBusy;
    const char *failure = turn.openDevice(deviceNumber.load());
    return failure != nullptr ? failure : turn.send(command);
}
