// The conversation with the controller, once for every program that has one:
// open the bridge device by number and set its serial line up, one status
// exchange, one fan command written. The plug-in calls it with the bridge
// operations it imports by ordinal (controller/importedBridge.cpp),
// vornhost with those it looks up itself (host/device/bridgeOperations.h). It keeps
// no state. Results are null for success or a constant failure text naming
// the failing library call; no library status code ever reaches a text.
#pragma once

#include <windows.h>

#include <cstdint>

#include "bridge/d2xx.h"

extern const char kOpenFailed[];
extern const char kSetBaudRateFailed[];
extern const char kSetDataCharacteristicsFailed[];
extern const char kSetTimeoutsFailed[];
extern const char kStatusRequestFailed[];
extern const char kStatusReadFailed[];
extern const char kStatusReadShort[];

constexpr ULONG kReadTimeoutMs = 3000;

// The seven operations of bridge/d2xx.h, wherever they come from.
struct BridgeOperations {
    decltype(&FT_Open) open;
    decltype(&FT_Close) close;
    decltype(&FT_Read) read;
    decltype(&FT_Write) write;
    decltype(&FT_SetBaudRate) setBaudRate;
    decltype(&FT_SetDataCharacteristics) setDataCharacteristics;
    decltype(&FT_SetTimeouts) setTimeouts;
};

// Opens device number deviceNumber into *handleOut and sets 19200 baud, 8
// data bits, 1 stop bit, no parity and a 3-second read time-out. On a
// configuration failure the handle is cleared and then closed, so that
// whoever looks at *handleOut meanwhile never closes it again; when the open
// itself fails, *handleOut is left as the library left it.
const char *openBridgeDevice(const BridgeOperations &bridge, int deviceNumber, FT_HANDLE *handleOut);

// Sends the status request on an open handle and reads the 285-byte reply
// straight into frameOut. The handle stays open either way.
const char *exchangeStatusFrame(const BridgeOperations &bridge, FT_HANDLE handle, uint8_t *frameOut);

// Writes one fan command (core/fanCommand.h) on an open handle: null when
// all of it went out, else kFanCommandNotSent.
const char *writeFanCommand(const BridgeOperations &bridge, FT_HANDLE handle, const uint8_t *command);
