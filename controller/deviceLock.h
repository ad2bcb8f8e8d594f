// One party at a time on the controller: a poll cycle holds the device from
// its open to its close, the fan command from its decision to send to its
// close, and the unload teardown while it stops the poller. Waits are always
// bounded; nothing here needs initialising or closing.
#pragma once

#include <windows.h>

// Tries to take the device within timeoutMs; true when taken.
bool acquireDevice(DWORD timeoutMs);
void releaseDevice();

// The longest a poll cycle may hold the device: the 3-second read time-out
// plus a margin for the open, the request and the close.
constexpr DWORD kLongestCycleMs = 5000;
