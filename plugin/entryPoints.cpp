// The entry points through which the host identifies the plug-in, learns its
// meter functions and their prompts, and starts and stops it.
#include <windows.h>

#include <cstring>

#include "plugin/exports.h"
#include "poller/moduleUnload.h"
#include "poller/pollerLifecycle.h"
#include "state/moduleState.h"

namespace {

const char kMeterList[] =
    "GetAnalogTemp|GetDigitalTemp|GetFanRPM|GetFanPercentage|GetFanMaxRPM|GetFanManualMode|GetValue";

const char *const kIdentity[] = {
    "Vorn",                                  // name
    "VORN.dll project",                      // author
    "1.1",                                   // version
    "10-Feb-2006",                           // first release
    "15-Mar-2006",                           // this release
    "None",                                  // requirements
    "See README.md of the VORN.dll project", // contact
};

struct Prompt {
    const char *meter;
    const char *prompt;
};

const char kFanPrompt[] = "Fan Index (0-3)|";

const Prompt kPrompts[] = {
    {"GetDigitalTemp", "Digital Sensor Index (0-7)|"},
    {"GetAnalogTemp", "Analog Sensor Index (0-5)|"},
    {"GetFanRPM", kFanPrompt},
    {"GetFanPercentage", kFanPrompt},
    {"GetFanMaxRPM", kFanPrompt},
    {"GetFanManualMode", kFanPrompt},
    {"GetValue", "Parameter ID (1-285)|"},
};

constexpr SIZE_T kInstanceBlockSize = 40;

} // namespace

extern "C" {

const char *WINAPI init()
{
    return kMeterList;
}

int WINAPI dlltype()
{
    return 1;
}

const char *WINAPI getinfo(unsigned int index)
{
    return index < sizeof kIdentity / sizeof kIdentity[0] ? kIdentity[index] : "";
}

const char *WINAPI getparam(const char *name)
{
    if (name != nullptr) {
        for (const Prompt &p : kPrompts) {
            if (std::strcmp(name, p.meter) == 0)
                return p.prompt;
        }
    }
    return "|";
}

void *WINAPI dllstartup(HWND window, int /*ignored*/)
{
    hostWindow.store(window);
    instanceStarting();
    startPollerIfIdle();
    // The host keeps this block for us; we never look inside it.
    void *block = HeapAlloc(GetProcessHeap(), 0, kInstanceBlockSize);
    instanceHandedOut(block);
    return block;
}

int WINAPI dllshutdown(void *instanceBlock)
{
    if (instanceBlock != nullptr)
        HeapFree(GetProcessHeap(), 0, instanceBlock);
    // The block's value only: it is freed already.
    instanceFreed(instanceBlock);
    return 0;
}

int WINAPI pastemeter(int /*a*/, int /*b*/)
{
    return 0;
}

} // extern "C"
