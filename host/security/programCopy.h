// The service's own copy of vornhost.exe, in VORN\ under the system's
// Program Files folder (its known folder), where only administrators write:
// the service manager runs that copy, never the one a user unpacked, and
// nothing a user drops beside it is loaded.
#pragma once

#include <string>

// "C:\Program Files\VORN\vornhost.exe"; empty when the system does not tell
// where Program Files is.
std::string installedProgramPath();

// Copies this program there (making the folder when missing); prints the
// reason and returns false when that fails.
bool copyProgram();

// Removes the copy and its folder, when there. A copy still running (this
// very program, or a service process that has not quite ended) goes at the
// next restart. Prints the reason and returns false when neither works.
bool removeProgramCopy();
