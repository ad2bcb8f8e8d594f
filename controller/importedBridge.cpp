#include "controller/importedBridge.h"

#include "core/statusFrame.h"
#include "state/moduleState.h"

const BridgeOperations kImportedBridge = {
    FT_Open, FT_Close, FT_Read, FT_Write, FT_SetBaudRate, FT_SetDataCharacteristics, FT_SetTimeouts};

const char *openDevice(int deviceNumber, FT_HANDLE *handleOut)
{
    return openBridgeDevice(kImportedBridge, deviceNumber, handleOut);
}

const char *readStatus(FT_HANDLE handle, uint8_t *frameOut)
{
    const char *failure = exchangeStatusFrame(kImportedBridge, handle, frameOut);
    if (failure == nullptr)
        publishStatusFrame(frameOut);
    return failure;
}
