// The configuration dialog (template configDialogTemplate in the plug-in's
// resources): the device number and the refresh rate, with a spin button
// each, checked and stored on OK.
#pragma once

#include <windows.h>

INT_PTR CALLBACK configDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Shows the dialog modally, owned by the host's window, and returns 0 when
// it is closed. When the dialog cannot be created, the shared error box
// names "CreateDialog".
int runConfigDialog();
