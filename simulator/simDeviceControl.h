// Control functions for the simulated devices' identities, beside those of
// simControl.h: what the bridge library's device list (FT_CreateDeviceInfoList,
// FT_GetDeviceInfoList) shows of each device, and which positions hold the
// fan controller and which a foreign FTDI device.
//
// Devices sit at bus positions 0..SIM_MAX_DEVICES-1 (the `device` argument of
// every sim* function). The bridge library numbers the plugged-in ones in
// position order: FT_Open(n) and entry n of the device list are the n-th
// plugged-in position, so plugging a device in at a lower position moves the
// controller to a higher number, as on a real machine.
//
// At load, VORNSIM_DEVICES in the environment sets which devices are plugged
// in: one word per position from 0, separated by commas, each "controller",
// "foreign" or "none" ("foreign,controller": a foreign device as number 0,
// the controller as number 1). In shared mode it applies when the first
// process creates the shared controllers. simReset goes back to one
// controller at position 0.
//
// Each position's identity, set by a reset: a controller has the serial
// number "VORN000p" and the description "Vorncontrol"; a foreign device
// "FTX0000p" and "USB Serial Converter" (p: the position); the location is
// 0x2111 + 0x10 * p. A foreign device takes every byte written to it and
// never answers.
#pragma once

#include "simControl.h"

#define SIM_KIND_CONTROLLER 0
#define SIM_KIND_FOREIGN 1

#ifdef __cplusplus
extern "C" {
#endif

// Sets what the device list shows of the device at `device`: serial number
// (at most 15 characters), description (at most 63) and location. Returns 0,
// or -1 for a bad position or a text too long.
int SIM_API simSetDeviceInfo(int device, const char *serial, const char *description, unsigned long location);

// Makes the device at `device` a controller or a foreign device, with that
// kind's default identity; plugged in or not stays as it is. Returns 0 or -1.
int SIM_API simSetDeviceKind(int device, int kind);

#ifdef __cplusplus
} // extern "C"

// Resolves the functions above from a loaded FTD2XX.dll.
struct SimDeviceControl {
    decltype(&simSetDeviceInfo) setDeviceInfo = nullptr;
    decltype(&simSetDeviceKind) setDeviceKind = nullptr;

    bool load(HMODULE module)
    {
        setDeviceInfo = reinterpret_cast<decltype(setDeviceInfo)>(
            reinterpret_cast<void *>(GetProcAddress(module, "simSetDeviceInfo")));
        setDeviceKind = reinterpret_cast<decltype(setDeviceKind)>(
            reinterpret_cast<void *>(GetProcAddress(module, "simSetDeviceKind")));
        return setDeviceInfo != nullptr && setDeviceKind != nullptr;
    }
};
#endif // __cplusplus
