// The poller's one window: the error box that loadSettings shows at the
// poller's start when the settings cannot be read, owned by the host's
// window. Like every modal box it disables its owner while it is open and
// enables it again when it ends, and only the thread that made a window can
// destroy it. A poller stopped inside its box would leave the host's window
// disabled for good (and, under Wine, the box on the screen). So the unload
// has the box end the normal way first, on the poller's own thread.
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
