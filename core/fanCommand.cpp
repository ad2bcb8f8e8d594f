#include "core/fanCommand.h"

#include "core/meterCore.h"
#include "core/statusFrame.h"
#include "core/textToLong.h"

const char kInvalidPercentage[] = "Invalid percentage";
const char kFanCommandNotSent[] = "FT_Write: Can't send SER_SET command.";
const char kFanCommandBusy[] = "SetFanPercentage: Device busy, command not sent.";

const char *encodeFanDuty(int32_t fan, int32_t percent, uint8_t command[kFanCommandSize])
{
    if (fan < 0 || fan >= kFanCount)
        return kInvalidFanIndex;
    if (percent < 0 || percent > 100)
        return kInvalidPercentage;
    command[0] = static_cast<uint8_t>(kSetDutyCommand + fan);
    command[1] = static_cast<uint8_t>(percent);
    return nullptr;
}

const char *encodeFanCommand(const char *fanText, const char *percentText, uint8_t command[kFanCommandSize])
{
    // Both texts are read before either is tested.
    const int32_t fan = textToLong(fanText);
    const int32_t percent = textToLong(percentText);
    return encodeFanDuty(fan, percent, command);
}
