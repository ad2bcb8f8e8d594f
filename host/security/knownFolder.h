// The system's own folders (ProgramData, Program Files) as the shell's
// known-folder API names them: never from the environment, which a user
// sets for the programs he starts.
#pragma once

#include <windows.h>

#include <knownfolders.h>

#include <string>

// The folder's path ("C:\ProgramData"), or empty when the system cannot tell
// it (or it does not fit the ANSI code page).
std::string knownFolder(const GUID &folder);
