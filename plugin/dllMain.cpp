// The library's load and unload hook.
#include <windows.h>

#include "plugin/moduleState.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/)
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
        break;
    default:
        break;
    }
    return TRUE;
}
