// vornhost's lock: the same named lock on the controller that the plug-in
// takes in every host (core/turnTaking.h), opened once for this process and
// kept open for its life, and a turn on it held around each exchange vornhost
// makes itself, so that it and the pollers never refuse each other.
#pragma once

#include <windows.h>

#include <string>

#include "core/turnTaking.h"

// What vornhost says when the turn did not come within the bound.
extern const char kControllerBusy[];

// Where the one notice of a fallback from the global lock goes: stderr
// unless the process names another place before its first turn (the
// service, which has no console: its Event Log).
using LockNotice = void (*)(const std::string &text);
void sendLockNoticeTo(LockNotice notice);

// Waits for a turn, at most boundMs in all, on the lock opened as
// controller/sharedLocks.h opens it, once for the process at its first turn
// and kept open from then on (a fallback to the session's lock is said
// once); a `cancel` event, when given, ends the wait without the turn. True
// when the turn came (the lock may have been left abandoned by a holder that
// died). A lock that cannot be had at all (both names taken by another kind
// of object) counts as the turn: the driver's refusal of a second open still
// keeps parties apart. The turn itself is a ControllerTurn
// (controller/controllerTurn.h), which endProcessTurn ends.
bool takeProcessTurn(DWORD boundMs, HANDLE cancel);
void endProcessTurn();
