// The library's load and unload hook.
#include <windows.h>

#include "poller/moduleUnload.h"
#include "state/moduleState.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    switch (reason) {
    case DLL_PROCESS_ATTACH:
        moduleInstance = instance;
        startModuleState();
        break;
    case DLL_PROCESS_DETACH:
        // A non-null reserved pointer means the process is ending, not
        // FreeLibrary. The system has already stopped every other thread,
        // the poller perhaps in the middle of a bridge library call: a lock
        // it held there stays taken, and a call into the library now could
        // wait for ever or end the process on the spot. So nothing is done
        // at all; the system closes the handles and releases the device.
        // For FreeLibrary the host's calls were drained in dllshutdown, so
        // here they are only counted (poller/moduleUnload.h).
        if (reserved == nullptr)
            detachModule();
        break;
    default:
        break;
    }
    return TRUE;
}
