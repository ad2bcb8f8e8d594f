// The seven operations of the USB-serial bridge library (FTD2XX.dll) that the
// plug-in uses. Every call returns a status: 0 is success, anything else is a
// failure, and no caller tells one failure from another.
#pragma once

#include <windows.h>

typedef PVOID FT_HANDLE;
typedef ULONG FT_STATUS;

// What crosses into the bridge maker's library has its sizes, on 32 and on
// 64 bits alike: a handle is a pointer, a status and every count a 32-bit
// number (Windows keeps ULONG and DWORD at 32 bits on 64-bit too).
static_assert(sizeof(FT_HANDLE) == sizeof(void *), "FT_HANDLE is a pointer");
static_assert(sizeof(FT_STATUS) == 4 && sizeof(DWORD) == 4 && sizeof(ULONG) == 4, "32-bit status and counts");
static_assert(sizeof(UCHAR) == 1, "byte-sized line settings");

enum : FT_STATUS {
    FT_OK = 0
};

// The operations' ordinals, as bridge/FTD2XX.def imports them: for a look-up
// through the library's own exports (vornhost; the plug-in's own FT_Close
// at unload) rather than a module's imports. The test export_definitions
// holds the two lists equal.
constexpr WORD FT_OPEN_ORDINAL = 1;
constexpr WORD FT_CLOSE_ORDINAL = 2;
constexpr WORD FT_READ_ORDINAL = 3;
constexpr WORD FT_WRITE_ORDINAL = 4;
constexpr WORD FT_SET_BAUD_RATE_ORDINAL = 7;
constexpr WORD FT_SET_DATA_CHARACTERISTICS_ORDINAL = 8;
constexpr WORD FT_SET_TIMEOUTS_ORDINAL = 17;

#ifdef __cplusplus
extern "C" {
#endif

FT_STATUS WINAPI FT_Open(int deviceNumber, FT_HANDLE *handle);
FT_STATUS WINAPI FT_Close(FT_HANDLE handle);
FT_STATUS WINAPI FT_Read(FT_HANDLE handle, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesReturned);
FT_STATUS WINAPI FT_Write(FT_HANDLE handle, LPVOID buffer, DWORD bytesToWrite, LPDWORD bytesWritten);
FT_STATUS WINAPI FT_SetBaudRate(FT_HANDLE handle, ULONG baudRate);
FT_STATUS WINAPI FT_SetDataCharacteristics(FT_HANDLE handle, UCHAR wordLength, UCHAR stopBits, UCHAR parity);
FT_STATUS WINAPI FT_SetTimeouts(FT_HANDLE handle, ULONG readTimeout, ULONG writeTimeout);

#ifdef __cplusplus
}
#endif
