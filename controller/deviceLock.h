// One party at a time on the controller: a poll cycle holds the device from
// its open to its close, the fan command from its decision to send to its
// close, and the unload teardown while it stops the poller.
//
// The device is shared fairly. The poller goes before every waiting command,
// so a cycle waits for at most the one exchange that holds the device when it
// asks; commands (and the unload) are served in the order they arrived, so a
// host thread that sends again at once queues behind the others instead of
// taking the device back. A waiter gives up only when the party holding the
// device has held it for the whole bound: waiting behind several short
// exchanges in turn never counts as busy. Nothing here needs initialising or
// closing, and a waiter stopped by TerminateThread leaves nothing behind that
// could hold up the others (see deviceLock.cpp).
#pragma once

#include <windows.h>

// Takes the device in arrival order; false when whoever held it while this
// call waited kept it for timeoutMs or longer.
bool acquireDevice(DWORD timeoutMs);

// The same for the poller: ahead of every waiting command.
bool acquireDeviceFirst(DWORD timeoutMs);

void releaseDevice();

// How many parties are waiting for the device now (for tests).
int deviceWaiterCount();

// The longest a poll cycle may hold the device: the 3-second read time-out
// plus a margin for the open, the request and the close.
constexpr DWORD kLongestCycleMs = 5000;
