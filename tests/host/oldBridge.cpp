// An FTD2XX.dll of an old driver, for the test that vornhost says so: it has
// no device list functions (nor anything else vornhost would call).
#include <windows.h>

extern "C" __declspec(dllexport) int oldBridgeVersion()
{
    return 1;
}
