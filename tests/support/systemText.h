// The system's message text for an error code, as FormatMessageA gives it
// (trailing line break included); "" when the system has none.
#pragma once

#include <windows.h>

#include <string>

std::string systemText(DWORD code);
