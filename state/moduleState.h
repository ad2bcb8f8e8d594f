// The plug-in's module-wide state. Everything is zero at load; the loader's
// process-attach call sets up the rest (see dllMain.cpp).
//
// Threads: the host calls the exports on its own thread(s); the poller runs on
// one background thread. Each shared word is an atomic read and written whole;
// the frame and its speed table are published together through a latch; the
// device handle is the poll cycle's, written under the controller's lock and
// read by the unload only once the cycle is over or cut off (docs/lifecycle.md).
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>

#include "bridge/d2xx.h"
#include "core/statusLatch.h"

// The last complete status frame with the maximum speeds derived from it.
extern StatusLatch statusFrame;

// The failure text of the last poll step or settings operation, or null.
// Always a constant text with static storage.
extern std::atomic<const char *> lastError;

// The handle a poll cycle holds on the device, from the moment the library
// opens it until the cycle closes it; null between cycles.
extern FT_HANDLE deviceHandle;

// The controller's D2XX device number (a setting).
extern std::atomic<int32_t> deviceNumber;

// The poller thread, or null when none was started or it has ended.
extern std::atomic<HANDLE> pollThread;

// The host's window: owner of the dialog and the error boxes.
extern std::atomic<HWND> hostWindow;

// This module, source of the dialog template.
extern HINSTANCE moduleInstance;

// Publishes a complete frame and the speed table derived from it.
void publishStatusFrame(const uint8_t frame[kStatusFrameSize]);

// What a load begins with: the zero frame, no device handle, no error text.
// Process attach calls it, and so does a start in an image that an unload
// tore down but kept loaded (docs/lifecycle.md, "Kept loaded").
void startModuleState();
