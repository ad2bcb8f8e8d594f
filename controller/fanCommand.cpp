#include "controller/fanCommand.h"

#include "controller/deviceConnection.h"
#include "controller/deviceLock.h"
#include "core/meterCore.h"
#include "core/statusFrame.h"
#include "core/textToLong.h"
#include "state/moduleState.h"

const char kInvalidPercentage[] = "Invalid percentage";
const char kFanCommandNotSent[] = "FT_Write: Can't send SER_SET command.";
const char kFanCommandBusy[] = "SetFanPercentage: Device busy, command not sent.";

const char *sendFanDuty(const char *fanText, const char *percentText)
{
    const int32_t fan = textToLong(fanText);
    const int32_t percent = textToLong(percentText);
    if (fan < 0 || fan >= kFanCount)
        return kInvalidFanIndex;
    if (percent < 0 || percent > 100)
        return kInvalidPercentage;
    const char *error = lastError.load();
    if (error != nullptr)
        return error;

    uint8_t command[2] = {static_cast<uint8_t>(kSetDutyCommand + fan), static_cast<uint8_t>(percent)};

    // While a poll cycle or an earlier command holds the device, wait for our
    // turn rather than drop the command; busy only when one holder kept the
    // device past the longest a cycle can take.
    if (!acquireDevice(kLongestCycleMs))
        return kFanCommandBusy;
    FT_HANDLE handle = nullptr;
    const char *failure = openDevice(deviceNumber.load(), &handle);
    if (failure == nullptr) {
        DWORD written = 0;
        const FT_STATUS status = FT_Write(handle, command, sizeof command, &written);
        FT_Close(handle);
        if (status != FT_OK || written != sizeof command)
            failure = kFanCommandNotSent;
    }
    releaseDevice();
    return failure;
}
