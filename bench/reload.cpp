// Figure 8: free address space (below 2 GB) lost per load, dllstartup and
// unload of VORN.dll. A damaged refresh rate makes the poller stop early and
// park, so that every unload finds it in the same place.
#include "bench/bench.h"

namespace {

double freeAddressSpaceMb()
{
    double mb = 0;
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    MEMORY_BASIC_INFORMATION region;
    for (auto *at = static_cast<char *>(info.lpMinimumApplicationAddress);
         at < info.lpMaximumApplicationAddress && VirtualQuery(at, &region, sizeof region) == sizeof region;
         at = static_cast<char *>(region.BaseAddress) + region.RegionSize) {
        if (region.State == MEM_FREE)
            mb += static_cast<double>(region.RegionSize) / (1024.0 * 1024.0);
    }
    return mb;
}

// One load, dllstartup and unload: true when the poller started (and refused the rate).
bool reloadOnce()
{
    Plugin plugin;
    const auto getValue = plugin.get<MeterFn>("GetValue");
    if (getValue == nullptr)
        return false;
    plugin.start(nullptr);
    char buffer[64] = {};
    return waitUntil(2000, [&] { return lstrcmpA(getValue(buffer, "1"), kRateRefused) == 0; });
}

} // namespace

bool figureReload(Bench &bench)
{
    if (GetModuleHandleA("VORN.dll") != nullptr || !bench.seed(true))
        return bench.fail("reloads: VORN.dll is still loaded, or the settings cannot be seeded");
    for (int i = 0; i < 5; ++i) // the first reloads settle the process (heaps, caches)
        reloadOnce();
    const int rounds = bench.quick ? 50 : 200;
    const double before = freeAddressSpaceMb();
    int started = 0;
    for (int i = 0; i < rounds; ++i)
        started += reloadOnce();
    const double after = freeAddressSpaceMb(), perRound = (before - after) / rounds;

    bench.section("8. Address space per load/unload");
    bench.detail("%d rounds (the poller parked at each unload), it started in %d; free %.1f MB before, %.1f MB after.",
                 rounds, started, before, after);
    bench.row("8. address space lost per load/unload", format("%.3f MB", perRound), "< 0.5 MB",
              perRound < 0.5 && started == rounds);
    return true;
}
