// The plug-in's lock: one party at a time on the controller, across every program that uses it:
// the kernel mutex named in core/turnTaking.h. A poll cycle holds it from
// its open to its close, the fan command from its decision to send to its
// close. Waiters sleep in the kernel, which hands the mutex over in turn, so a
// caller that asks again at once queues behind the others. A holder that died
// (a thread or a whole process) leaves the mutex abandoned, and the next
// waiter takes it as free. See docs/lifecycle.md for who holds it when.
#pragma once

#include <windows.h>

#include "core/turnTaking.h"

// Opens the lock for this module, once: on the host's thread, in dllstartup
// or the first fan command, never under the loader lock; the global lock, or
// the session's (controller/sharedLocks.h). When neither name can be had
// (another kind of object took them), the lock is one of this process only,
// so the poller and the fan command still take turns. False only when no
// lock could be made at all; the caller then goes on without one, and the
// driver's refusal of a second open is all that keeps parties apart.
bool openModuleLock();

// At unload, once nothing of this module waits for it any more.
void closeModuleLock();

// Waits at most timeoutMs in all for the turn; true when it is ours (also
// when the last holder died holding it, or when there is no lock to take).
// False at once once the unload has let waiters go.
bool takeTurn(DWORD timeoutMs);

// The unload's first step: every fan command waiting in takeTurn, or
// about to, gives up at once instead of keeping its thread in this module.
void letWaitersGo();

// Undoes letWaitersGo: once the unload's drain is over with nothing left
// inside, and when a start follows an unload that kept the module loaded.
void letWaitersIn();

// The same for the poller: the wait is alertable, so that the unload's queued
// exit reaches a poller waiting here (docs/lifecycle.md).
bool takeTurnAlertable(DWORD timeoutMs);

void endTurn();
