// The device functions a host may call besides the meters: one status
// exchange by hand, and the fan command. The logic is in controller/. Each
// may wait (for the bridge library, for its turn on the controller), so each
// counts itself inside for the unload (state/callsInside.h).
#include "controller/fanCommand.h"
#include "controller/importedBridge.h"
#include "plugin/exports.h"
#include "state/callsInside.h"

extern "C" {

const char *WINAPI openConnection(int deviceNumber, FT_HANDLE *handleOut)
{
    const CallInside counted;
    return openDevice(deviceNumber, handleOut);
}

const char *WINAPI readFromVorn(FT_HANDLE handle, uint8_t *frameOut)
{
    const CallInside counted;
    return readStatus(handle, frameOut);
}

// The output buffer is neither read nor written.
const char *WINAPI SetFanPercentage(char * /*outputBuffer*/, const char *fanText, const char *percentText)
{
    const CallInside counted;
    return sendFanDuty(fanText, percentText);
}

} // extern "C"
