// The bridge library's device list, as FTDI's D2XX library declares it. Only
// vornhost uses it, looking both functions up by name, and the simulator
// provides them; the plug-in itself never lists devices.
//
// FT_CreateDeviceInfoList takes a snapshot of the connected devices and
// returns their count; FT_GetDeviceInfoList copies the snapshot into an array
// of at least that many nodes and sets the count to the nodes it filled. A
// node's index is the device number FT_Open takes. For a device open in
// another process only Flags is filled in; for a device open at the time of
// the snapshot LocId is 0.
#pragma once

#include <cstddef>

#include "bridge/d2xx.h"

typedef struct _ft_device_list_info_node {
    DWORD Flags; // bit 0: open in some process; bit 1: high-speed USB
    DWORD Type;
    DWORD ID; // USB vendor id << 16 | product id
    DWORD LocId;
    char SerialNumber[16];
    char Description[64];
    FT_HANDLE ftHandle; // this process's handle of an open device, else null
} FT_DEVICE_LIST_INFO_NODE;

// The library fills an array of these, so the layout is the library's own:
// four 32-bit numbers and two texts, then the handle at offset 96, which
// 64-bit alignment keeps there (104 bytes a node on 64-bit, 100 on 32-bit).
static_assert(offsetof(FT_DEVICE_LIST_INFO_NODE, Type) == 4, "device list node layout");
static_assert(offsetof(FT_DEVICE_LIST_INFO_NODE, LocId) == 12, "device list node layout");
static_assert(offsetof(FT_DEVICE_LIST_INFO_NODE, SerialNumber) == 16, "device list node layout");
static_assert(offsetof(FT_DEVICE_LIST_INFO_NODE, Description) == 32, "device list node layout");
static_assert(offsetof(FT_DEVICE_LIST_INFO_NODE, ftHandle) == 96, "device list node layout");
static_assert(sizeof(FT_DEVICE_LIST_INFO_NODE) == (sizeof(void *) == 8 ? 104 : 100), "device list node size");

enum : DWORD {
    FT_FLAGS_OPENED = 1,
    FT_FLAGS_HISPEED = 2
};

typedef FT_STATUS(WINAPI *FtCreateDeviceInfoListFn)(LPDWORD count);
typedef FT_STATUS(WINAPI *FtGetDeviceInfoListFn)(FT_DEVICE_LIST_INFO_NODE *nodes, LPDWORD count);
