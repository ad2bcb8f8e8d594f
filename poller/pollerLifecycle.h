// Starting and ending the poller thread, and the one rule that keeps an
// unload off the bridge library: no cycle begins once the unload has begun,
// and a cycle under way is waited for (bounded) before the thread is ended.
// docs/lifecycle.md tells the whole life: each state, its bound, its thread,
// and what the loader lock allows there.
#pragma once

#include <windows.h>

#include <atomic>

// What the meters show while no poller could be started.
extern const char kCantStartPoller[];

// The running poller's waitable timer, or null. Closed by the poller when it
// stops using it, or by the unload after ending the thread.
extern std::atomic<HANDLE> pollTimer;
void closePollTimer();

// Starts a poller unless pollThread already names one, and waits (bounded)
// until the new thread runs its own code. When the thread cannot be created,
// lastError says so (kCantStartPoller) and pollThread stays null, so that the
// next start tries again. Also opens the controller's lock for this module.
void startPollerIfIdle();

// Called by the poller first thing: it is past the loader now.
void pollerEntered();

// Around a poll cycle, with the controller's lock held: beginCycle is false once
// the unload has begun (no cycle then); endCycle tells an unload that waits
// for the cycle that it is over.
bool beginCycle();
void endCycle();

// Called by the poller when its loop ends: pollThread becomes null, so that
// the next start begins a fresh poller and ends this one.
void retirePoller();

// The poller's last step: an alertable sleep until the unload, or a later
// start for a retired poller, ends the thread.
[[noreturn]] void parkPoller();

// The unload's teardown of the poller (docs/lifecycle.md, "The unload, state
// by state"), within a bound of its own: lets fan commands that wait for
// their turn go, closes the poller's settings box if one is open, lets a
// cycle under way finish, ends the poller, has the device closed if a cycle
// had to be cut off, and closes the controller's lock unless a call is still
// inside. Afterwards pollThread and deviceHandle are null. True when no
// poller code can run any more; false when a poller was neither seen to
// answer nor to end, and the module must then stay loaded.
bool stopPoller();
