// The poller's one window: the error box that loadSettings shows at the
// poller's start, owned by the host's window, which it disables while open.
// Only the box's own thread can end it, so the unload has it end the normal
// way first (docs/lifecycle.md, the unload table).
#pragma once

#include <windows.h>

// The poller, around its loadSettings call: owner is the window it passes
// (null: no box can open).
void settingsBoxMayOpen(HWND owner);
void settingsBoxClosed();

// Unload, before the poller is stopped: when the poller may have its box
// open, presses its OK button and waits at most waitMs until loadSettings has
// returned. The owner, when it is the unloading thread's own window, is
// enabled again first, by a direct call: the box's end then has nothing to
// ask of this thread, which is busy here and would not answer.
void closeSettingsBox(DWORD pollerThreadId, DWORD waitMs);

// Unload, after the poller is stopped: enables the owner found by
// closeSettingsBox again if it is still disabled and belongs to this thread.
// The window of another thread is left to the box's own end: enabling it
// from here would send that thread a message, and it may itself be waiting
// for the loader lock that the unload holds.
void reenableBoxOwner();
