// The plug-in's conversations with the controller: controller/controllerExchange.h
// with the bridge operations this module imports by ordinal, and the frame
// published to the meters after a complete reply.
#pragma once

#include <windows.h>

#include <cstdint>

#include "controller/controllerExchange.h"

// The imported operations, for the exchanges made here and in the fan command.
extern const BridgeOperations kImportedBridge;

// openBridgeDevice with the imported operations.
const char *openDevice(int deviceNumber, FT_HANDLE *handleOut);

// exchangeStatusFrame with the imported operations; after a complete reply
// the frame and the fans' maximum speeds derived from it become what the
// meters show. The handle stays open either way.
const char *readStatus(FT_HANDLE handle, uint8_t *frameOut);
