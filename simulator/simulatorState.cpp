// The simulator's one instance per process, and its small helpers.
#include "simulator/simulatorState.h"

namespace vornsim {

// Built when the DLL loads (so the environment is read then) and never
// destroyed: threads may still be inside the DLL while the process exits.
Sim &sim()
{
    static Sim *s = new Sim;
    return *s;
}
[[maybe_unused]] const bool g_builtAtLoad = (sim(), true);

// At unload or process end, the devices this process still holds open are
// let go, as the driver releases them when a program ends.
struct CloseSharedStateAtUnload {
    ~CloseSharedStateAtUnload() { sim().store.close(); }
} g_closeSharedStateAtUnload;

std::string environment(const char *name)
{
    char value[1024];
    const DWORD n = GetEnvironmentVariableA(name, value, sizeof value);
    return n < sizeof value ? std::string(value, n) : std::string();
}

bool sharedModeAsked()
{
    if (environment("VORNSIM_SHARED") == "1")
        return true;
    DWORD shared = 0, size = sizeof shared;
    return RegGetValueA(HKEY_LOCAL_MACHINE, "SOFTWARE\\VornSimulator", "Shared", RRF_RT_REG_DWORD, nullptr, &shared,
                        &size) == ERROR_SUCCESS &&
           shared == 1;
}

int clampMs(int ms)
{
    return std::min(std::max(ms, 0), 60000);
}

} // namespace vornsim
