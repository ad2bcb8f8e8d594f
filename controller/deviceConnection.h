// Every conversation with the controller: open the bridge device by number
// and set its serial line up, then one exchange. Results are null for
// success or a constant failure text naming the failing library call; no
// library status code ever reaches a text.
#pragma once

#include <windows.h>

#include <cstdint>

#include "bridge/d2xx.h"
#include "core/protocol.h"

extern const char kOpenFailed[];
extern const char kSetBaudRateFailed[];
extern const char kSetDataCharacteristicsFailed[];
extern const char kSetTimeoutsFailed[];
extern const char kStatusRequestFailed[];
extern const char kStatusReadFailed[];
extern const char kStatusReadShort[];

constexpr ULONG kReadTimeoutMs = 3000;

// Opens device number deviceNumber into *handleOut and sets 19200 baud, 8
// data bits, 1 stop bit, no parity and a 3-second read time-out. On a
// configuration failure the handle is closed and *handleOut is null again;
// when the open itself fails, *handleOut is left as the library left it.
const char *openDevice(int deviceNumber, FT_HANDLE *handleOut);

// Sends the status request on an open handle and reads the 285-byte reply
// straight into frameOut. After a complete reply the frame and the fans'
// maximum speeds derived from it become what the meters show. The handle
// stays open either way.
const char *readStatus(FT_HANDLE handle, uint8_t *frameOut);
