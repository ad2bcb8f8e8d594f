// The plug-in's two settings, kept in the current user's registry
// (core/settingsNames.h): the controller's D2XX device number and the poll
// interval in seconds, both REG_DWORD. Failures are reported twice: as a constant text in
// lastError and, when the caller passes a parent window, in an error box.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>

#include "core/settingsNames.h"

// Reads both values straight into the caller's variables. 0 on success,
// 1 on failure (lastError set, box shown when parent is not null).
int loadSettings(HWND parent, std::atomic<int32_t> *deviceNumberOut, int32_t *refreshRateOut);

// Writes both values, creating the key when missing. 0 on success, 1 on
// failure (lastError set, box shown when parent is not null).
int saveSettings(HWND parent, int32_t deviceNumber, int32_t refreshRate);
