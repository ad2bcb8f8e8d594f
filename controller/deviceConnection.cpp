#include "controller/deviceConnection.h"

#include "core/statusFrame.h"
#include "state/moduleState.h"

const char kOpenFailed[] = "FT_OpenEx: Can't open requested device.";
const char kSetBaudRateFailed[] = "FT_SetBaudRate: Cant't set baud to 19200.";
const char kSetDataCharacteristicsFailed[] = "FT_SetDataCharacteristics: Can't set 8 bit, 1 stop, no parity.";
const char kSetTimeoutsFailed[] = "FT_SetTimeouts: Can't set a 3 second timeout.";
const char kStatusRequestFailed[] = "FT_Write: Can't send SER_Request command.";
const char kStatusReadFailed[] = "FT_Read: Can't read data from VORN.";
const char kStatusReadShort[] = "FT_Read: Didn't get all the data.";

namespace {

constexpr UCHAR kWordLength8 = 8;
constexpr UCHAR kOneStopBit = 0;
constexpr UCHAR kNoParity = 0;
constexpr ULONG kNoWriteTimeout = 0;

// Cleared before the close: whoever looks at the variable meanwhile (the
// unload, for a poll cycle cut off here) never closes the handle again.
const char *closeAndFail(FT_HANDLE *handleOut, const char *text)
{
    FT_HANDLE handle = *handleOut;
    *handleOut = nullptr;
    FT_Close(handle);
    return text;
}

} // namespace

const char *openDevice(int deviceNumber, FT_HANDLE *handleOut)
{
    if (handleOut == nullptr)
        return kOpenFailed;
    if (FT_Open(deviceNumber, handleOut) != FT_OK)
        return kOpenFailed;
    if (FT_SetBaudRate(*handleOut, kBaudRate) != FT_OK)
        return closeAndFail(handleOut, kSetBaudRateFailed);
    if (FT_SetDataCharacteristics(*handleOut, kWordLength8, kOneStopBit, kNoParity) != FT_OK)
        return closeAndFail(handleOut, kSetDataCharacteristicsFailed);
    if (FT_SetTimeouts(*handleOut, kReadTimeoutMs, kNoWriteTimeout) != FT_OK)
        return closeAndFail(handleOut, kSetTimeoutsFailed);
    return nullptr;
}

const char *readStatus(FT_HANDLE handle, uint8_t *frameOut)
{
    if (frameOut == nullptr)
        return kStatusReadFailed;
    uint8_t request = kStatusRequest;
    DWORD written = 0;
    if (FT_Write(handle, &request, 1, &written) != FT_OK || written != 1)
        return kStatusRequestFailed;
    DWORD received = 0;
    if (FT_Read(handle, frameOut, kStatusFrameSize, &received) != FT_OK)
        return kStatusReadFailed;
    if (received != kStatusFrameSize)
        return kStatusReadShort;
    publishStatusFrame(frameOut);
    return nullptr;
}
