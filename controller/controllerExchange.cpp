#include "controller/controllerExchange.h"

#include "core/fanCommand.h"
#include "core/protocol.h"

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

const char *closeAndFail(const BridgeOperations &bridge, FT_HANDLE *handleOut, const char *text)
{
    FT_HANDLE handle = *handleOut;
    *handleOut = nullptr;
    bridge.close(handle);
    return text;
}

} // namespace

const char *openBridgeDevice(const BridgeOperations &bridge, int deviceNumber, FT_HANDLE *handleOut)
{
    if (handleOut == nullptr)
        return kOpenFailed;
    if (bridge.open(deviceNumber, handleOut) != FT_OK)
        return kOpenFailed;
    if (bridge.setBaudRate(*handleOut, kBaudRate) != FT_OK)
        return closeAndFail(bridge, handleOut, kSetBaudRateFailed);
    if (bridge.setDataCharacteristics(*handleOut, kWordLength8, kOneStopBit, kNoParity) != FT_OK)
        return closeAndFail(bridge, handleOut, kSetDataCharacteristicsFailed);
    if (bridge.setTimeouts(*handleOut, kReadTimeoutMs, kNoWriteTimeout) != FT_OK)
        return closeAndFail(bridge, handleOut, kSetTimeoutsFailed);
    return nullptr;
}

const char *exchangeStatusFrame(const BridgeOperations &bridge, FT_HANDLE handle, uint8_t *frameOut)
{
    if (frameOut == nullptr)
        return kStatusReadFailed;
    uint8_t request = kStatusRequest;
    DWORD written = 0;
    if (bridge.write(handle, &request, 1, &written) != FT_OK || written != 1)
        return kStatusRequestFailed;
    DWORD received = 0;
    if (bridge.read(handle, frameOut, kStatusFrameSize, &received) != FT_OK)
        return kStatusReadFailed;
    if (received != kStatusFrameSize)
        return kStatusReadShort;
    return nullptr;
}

const char *writeFanCommand(const BridgeOperations &bridge, FT_HANDLE handle, const uint8_t *command)
{
    DWORD written = 0;
    const FT_STATUS status = bridge.write(handle, const_cast<uint8_t *>(command), kFanCommandSize, &written);
    return status == FT_OK && written == kFanCommandSize ? nullptr : kFanCommandNotSent;
}
