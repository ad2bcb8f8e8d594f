// The shared error box: "<label> failed with error <code>\n<system text>",
// titled "Error", one OK button, no icon. A code of 0 stands for the calling
// thread's last-error value.
#pragma once

#include <windows.h>

void showApiError(HWND parent, const char *label, DWORD code);
