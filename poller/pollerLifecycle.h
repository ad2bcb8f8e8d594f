// Starting and stopping the poller thread, and who closes its handle.
//
// pollThread names the running poller (or one that ended during its start).
// When the poller's loop ends it leaves its handle to be closed by whoever
// comes next (the next start, or the unload), so that they can make sure the
// thread has left the plug-in's code first: a thread that only returned from
// it may still be executing its last instructions here when the module is
// unmapped.
#pragma once

#include <windows.h>

// Starts a poller unless pollThread already names one.
void startPollerIfIdle();

// Called by the poller as its last step: pollThread becomes null, so that the
// next start begins a fresh poller.
void retirePoller();

// Unload teardown. On FreeLibrary it lets a running cycle finish (bounded),
// stops the poller and closes the device if a cycle was cut off; at process
// exit the other threads are already gone, and it only closes handles.
// Afterwards pollThread and deviceHandle are null and no poller code runs.
void stopPoller(bool processExit);
