// The plug-in's settings in the test prefix's registry (HKCU), so that each
// test starts from a known state and leaves none behind.
#pragma once

#include <windows.h>

#include <functional>

// Removes HKCU\Software\Orvendel with everything below it.
void clearSettings();

// Stores "Device ID" and "Refresh Rate" as REG_DWORD.
void seedSettings(DWORD deviceId, DWORD refreshRate);

// Polls condition every few milliseconds until it holds or timeoutMs passed.
bool waitUntil(const std::function<bool()> &condition, DWORD timeoutMs);
