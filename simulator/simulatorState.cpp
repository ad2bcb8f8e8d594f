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

// The handles of the shared section and its mutex are closed once, when the
// DLL is unloaded or the process ends.
// Devices this process still holds open are let go first, as the driver
// releases them when a program ends.
struct CloseSharedStateAtUnload {
    ~CloseSharedStateAtUnload()
    {
        sim().store.releaseOwned();
        sim().store.close();
    }
} g_closeSharedStateAtUnload;

int clampMs(int ms)
{
    return ms < 0 ? 0 : std::min(ms, kMaxWaitMs);
}

void paceWire(size_t bytes, ULONG baud)
{
    if (bytes == 0 || baud == 0)
        return;
    const auto us = static_cast<long long>(bytes) * 10 * 1000000 / baud;
    std::this_thread::sleep_for(std::chrono::microseconds(us));
}

} // namespace vornsim
