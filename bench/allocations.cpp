// Figure 5: heap allocations per meter call and per status exchange, counted
// in VORN.dll's own import slots; the real poller's are counted in figure 4.
#include "bench/bench.h"

bool figureAllocations(Bench &bench)
{
    constexpr int kCallsEach = 10000;
    const int exchanges = bench.quick ? 100 : 500;
    Plugin plugin;
    if (!plugin.loaded())
        return bench.fail("allocations: cannot load VORN.dll");
    bench.resetSimulator(false);
    for (int i = 0; i < 20; ++i) // the first exchanges set up what the simulator keeps
        plugin.exchange();
    AllocationHooks hooks(plugin.module());
    char out[32];
    for (const MeterRange &range : kMeters) {
        const MeterFn meter = plugin.get<MeterFn>(range.name);
        for (int i = 0; i < kCallsEach; ++i)
            meter(out, parameterText(range.first + i % (range.last - range.first + 1)));
    }
    std::string meterBreakdown, exchangeBreakdown;
    const long meterAllocations = AllocationHooks::counted(&meterBreakdown);
    int failures = 0;
    for (int i = 0; i < exchanges; ++i)
        failures += plugin.exchange() != nullptr;
    const long exchangeAllocations = AllocationHooks::counted(&exchangeBreakdown);

    bench.section("5. Heap allocations in steady state");
    bench.detail(
        "%d import slots hooked (every allocation function VORN.dll imports by name). Meters (%d calls "
        "each): %s. Exchanges: %d failed; %s.",
        hooks.patched(), kCallsEach, meterBreakdown.c_str(), failures, exchangeBreakdown.c_str());
    bench.row("5. Heap allocations per meter call",
              format("%ld in %d calls", meterAllocations, kMeterCount * kCallsEach), "0",
              meterAllocations == 0 && hooks.patched() > 0);
    bench.row("5. Heap allocations per status exchange (back to back)",
              format("%ld in %d exchanges", exchangeAllocations, exchanges), "0",
              exchangeAllocations == 0 && hooks.patched() > 0 && failures == 0);
    return true;
}
