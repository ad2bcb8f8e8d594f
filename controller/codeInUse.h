// Whether any other thread of the process is still executing this module's
// own instructions: what the unload checks last, after every fan command has
// counted itself out, since a command that has counted out still runs its
// own return here (docs/lifecycle.md).
#pragma once

#include <windows.h>

// Waits at most waitMs until no thread but the caller has its instruction
// pointer inside this module's image; true when none has. Each thread is
// looked at while suspended, and resumed at once.
bool awaitNoOtherThreadHere(DWORD waitMs);
