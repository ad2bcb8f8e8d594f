// The library's load and unload hook.
#include <windows.h>

#include "poller/pollerLifecycle.h"
#include "state/moduleState.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    switch (reason) {
    case DLL_PROCESS_ATTACH: {
        moduleInstance = instance;
        const uint8_t zeroFrame[kStatusFrameSize] = {};
        publishStatusFrame(zeroFrame);
        deviceHandle = nullptr;
        lastError.store(nullptr);
        break;
    }
    case DLL_PROCESS_DETACH:
        // A non-null reserved pointer means the process is ending, not
        // FreeLibrary: the system has already stopped every other thread.
        stopPoller(reserved != nullptr);
        break;
    default:
        break;
    }
    return TRUE;
}
