// A function found by address at run time (GetProcAddress): the plug-in's
// exports, the bridge library's operations and its device list.
#pragma once

#include <windows.h>

// Converts a looked-up address to its function type (through the generic
// function type, which the compiler accepts as matching any other).
template <class Fn>
Fn asFunction(FARPROC address)
{
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(address));
}
