// Starting and stopping the poller thread, and who closes its handle.
//
// pollThread names the running poller (or one that stopped during its start).
//
// A poller thread never leaves its own code by a return. A thread on its way
// out passes through the loader (thread-detach notifications) and needs the
// loader lock; the unload teardown runs holding that lock, so it can neither
// wait for such a thread nor let it return into a module about to go away.
// So a poller whose work is over parks in an endless alertable sleep, holding
// nothing, and the poller waits alertably for its timer between cycles. In
// either wait the teardown ends it without ever letting it run code of this
// module again: two queued calls into the system, SetEvent (the teardown's
// proof that the thread is in the system's hands now) and then ExitThread.
// The thread's exit waits for the loader lock and goes on once the unload is
// over; it ends normally, and the system frees its stack. Only a poller that
// cannot be reached that way (a cycle cut off inside the bridge library) is
// stopped with TerminateThread, which frees no stack under Wine. For the same
// reason the start waits until a new thread is past the loader and inside
// the poller's own code.
//
// A poller whose loop ended (the timer failed) gives up pollThread, so that
// the next start begins a fresh one, and leaves its handle to be stopped and
// closed by that start or by the unload.
#pragma once

#include <windows.h>

#include <atomic>

// What the meters show while no poller could be started.
extern const char kCantStartPoller[];

// The poller's stack reservation. Its deepest use, measured with the
// settings error box (MessageBoxA, FormatMessageA) and a poll cycle, is
// 20.3 KB under Wine (vornbench, figure 7); this leaves a wide margin
// for a Windows box with hooks and input method windows. Wine rounds every
// stack up to 1 MB.
constexpr SIZE_T kPollerStackReserve = 256 * 1024;

// The running poller's waitable timer, or null. Closed by the poller when it
// stops using it, or by the unload after stopping the thread.
extern std::atomic<HANDLE> pollTimer;
void closePollTimer();

// Starts a poller unless pollThread already names one. When the thread
// cannot be created, lastError says so (kCantStartPoller) and pollThread
// stays null, so that the next start tries again; a poller that does start
// leaves lastError alone until its first cycle stores that cycle's outcome.
void startPollerIfIdle();

// Called by the poller first thing: it is past the loader now.
void pollerEntered();

// Called by the poller when its loop ends: pollThread becomes null, so that
// the next start begins a fresh poller.
void retirePoller();

// The poller's last step: sleeps (alertably) until the unload, or a later
// start for a retired poller, ends the thread.
[[noreturn]] void parkPoller();

// Unload teardown (FreeLibrary; at process exit nothing runs, see
// dllMain.cpp). It closes the poller's settings box if one is open, lets a
// running cycle finish (bounded), ends the poller and closes the device if a
// cycle was cut off. Afterwards pollThread and deviceHandle are null and no
// poller code runs.
void stopPoller();
