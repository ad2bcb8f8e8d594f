// Starting and stopping the poller thread, and who closes its handle.
//
// pollThread names the running poller (or one that stopped during its start).
//
// A poller thread never exits by itself. A thread on its way out passes
// through the loader (thread-detach notifications) and needs the loader lock;
// the unload teardown runs holding that lock, so it could neither wait for
// such a thread nor stop it there without corrupting the lock. So a poller
// whose work is over parks in an endless sleep, holding nothing, and the
// teardown stops it there safely. For the same reason the start waits until
// a new thread is past the loader and inside the poller's own code.
//
// A poller whose loop ended (the timer failed) gives up pollThread, so that
// the next start begins a fresh one, and leaves its handle to be stopped and
// closed by that start or by the unload.
#pragma once

#include <windows.h>

#include <atomic>

// The running poller's waitable timer, or null. Closed by the poller when it
// stops using it, or by the unload after stopping the thread.
extern std::atomic<HANDLE> pollTimer;
void closePollTimer();

// Starts a poller unless pollThread already names one.
void startPollerIfIdle();

// Called by the poller first thing: it is past the loader now.
void pollerEntered();

// Called by the poller when its loop ends: pollThread becomes null, so that
// the next start begins a fresh poller.
void retirePoller();

// The poller's last step: sleeps until the unload (or a later start, for a
// retired poller) stops the thread.
[[noreturn]] void parkPoller();

// Unload teardown. On FreeLibrary it lets a running cycle finish (bounded),
// stops the poller and closes the device if a cycle was cut off; at process
// exit the other threads are already gone, and it only closes handles.
// Afterwards pollThread and deviceHandle are null and no poller code runs.
void stopPoller(bool processExit);
