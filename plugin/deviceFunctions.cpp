// The device functions a host may call besides the meters: one status
// exchange by hand, and the fan command. The logic is in controller/.
#include "controller/deviceConnection.h"
#include "controller/fanCommand.h"
#include "plugin/exports.h"

extern "C" {

const char *WINAPI openConnection(int deviceNumber, FT_HANDLE *handleOut)
{
    return openDevice(deviceNumber, handleOut);
}

const char *WINAPI readFromVorn(FT_HANDLE handle, uint8_t *frameOut)
{
    return readStatus(handle, frameOut);
}

// The output buffer is neither read nor written.
const char *WINAPI SetFanPercentage(char * /*outputBuffer*/, const char *fanText, const char *percentText)
{
    return sendFanDuty(fanText, percentText);
}

} // extern "C"
