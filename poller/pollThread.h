// The poller: the plug-in's one background thread. Every interval it opens
// the controller, fetches one status frame, closes the controller again and
// records the outcome in lastError (null after a good cycle, the failing
// step's text otherwise). Device failures never stop it. Its life, from start
// to unload, is told in docs/lifecycle.md.
#pragma once

#include <windows.h>

extern const char kCantCreateTimer[];
extern const char kCantStartTimer[];
extern const char kWaitFailed[];
extern const char kCantResetTimer[];
// A cycle that could not get the device: others held it past the bound.
extern const char kPollDeviceBusy[];

// The thread's entry. It never returns: when its work is over (settings
// unreadable, the timer refused) it parks until the unload or a later start
// ends it.
DWORD WINAPI pollThreadProc(LPVOID ignored);

// One cycle: wait for the controller's lock, open with the current device
// number, read a frame, close.
void runPollCycle();
