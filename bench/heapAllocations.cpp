// Figure 5: heap allocations in steady state, per meter call and per poll
// cycle, counted two ways:
// - exactly, with counting wrappers in the import slots of the code under
//   test (VORN.dll for the meters; vornbench.exe, which links the poll cycle
//   in, for back-to-back cycles), which also sees blocks freed again at once;
// - as a cross-check, by walking every heap of the process before and after
//   and comparing the numbers of busy blocks: that sees growth made by any
//   module (the simulator and Wine included), but not transient blocks.
// The real poller thread's cycles in VORN.dll are counted the first way
// during the idle CPU measurement (see pollerCpu.cpp).
#include <cstdlib>

#include "bench/allocationHooks.h"
#include "bench/bench.h"
#include "bench/clock.h"
#include "bench/meters.h"
#include "controller/statusFrame.h"
#include "plugin/moduleState.h"
#include "poller/pollThread.h"

namespace {

constexpr int kMeterCallsEach = 10000;

// Does the heap walk see blocks that are known to be there? 100 from the C
// library's malloc and 100 from the process heap, taken and given back.
void calibrateCensus(Report &report)
{
    constexpr int kBlocks = 100;
    void *fromMalloc[kBlocks];
    void *fromHeap[kBlocks];
    const HeapCensus before = takeHeapCensus();
    for (int i = 0; i < kBlocks; ++i) {
        fromMalloc[i] = std::malloc(24);
        fromHeap[i] = HeapAlloc(GetProcessHeap(), 0, 24);
    }
    const HeapCensus during = takeHeapCensus();
    for (int i = 0; i < kBlocks; ++i) {
        std::free(fromMalloc[i]);
        HeapFree(GetProcessHeap(), 0, fromHeap[i]);
    }
    report.detail("Heap walk check: %d heaps walked%s; it saw %+lld busy blocks for %d known small allocations "
                  "(%d malloc + %d HeapAlloc).",
                  during.heaps, during.ok ? "" : " (some not to the end)",
                  during.busyBlocks - before.busyBlocks, 2 * kBlocks, kBlocks, kBlocks);
}

} // namespace

bool measureMeterAllocations(Bench &bench)
{
    Report &report = bench.report;
    report.section("5. Heap allocations in steady state");
    calibrateCensus(report);

    MeterFn meters[kMeterCount];
    for (int m = 0; m < kMeterCount; ++m) {
        meters[m] = exportOf<MeterFn>(bench.vorn, kMeters[m].name);
        if (meters[m] == nullptr) {
            report.failure(format("allocations: VORN.dll does not export %s", kMeters[m].name));
            return false;
        }
    }

    AllocationHooks hooks;
    const int patched = hooks.install(bench.vorn);
    std::string names;
    for (const std::string &n : hooks.patchedNames())
        names += (names.empty() ? "" : ", ") + n;
    report.detail("VORN.dll import slots hooked (%d): %s", patched, names.empty() ? "none" : names.c_str());

    char out[32];
    const HeapCensus censusBefore = takeHeapCensus();
    const AllocationCounts before = AllocationHooks::counts();
    for (int m = 0; m < kMeterCount; ++m) {
        const BenchMeter &entry = kMeters[m];
        int index = entry.first;
        for (int i = 0; i < kMeterCallsEach; ++i) {
            meters[m](out, parameterText(index));
            if (++index > entry.last)
                index = entry.first;
        }
    }
    const AllocationCounts after = AllocationHooks::counts();
    const HeapCensus censusAfter = takeHeapCensus();
    hooks.remove();
    const long allocations = after.total() - before.total();
    const std::string breakdown = after.describeSince(before);

    const long calls = static_cast<long>(kMeterCount) * kMeterCallsEach;
    report.detail("Meters: %ld calls through VORN.dll's exports (%d per meter, every parameter in turn): %ld "
                  "allocations counted in VORN.dll's import slots (%s); heap walk: %+lld busy blocks, %+lld bytes.",
                  calls, kMeterCallsEach, allocations, breakdown.c_str(),
                  censusAfter.busyBlocks - censusBefore.busyBlocks, censusAfter.busyBytes - censusBefore.busyBytes);
    report.row("5. Heap allocations per meter call", format("%ld in %ld calls", allocations, calls), "0",
               allocations == 0 && patched > 0 ? Verdict::Met : Verdict::Missed);
    if (patched == 0)
        report.detail("No import slot of VORN.dll could be hooked: the count above proves nothing.");
    return true;
}

bool measurePollCycleAllocations(Bench &bench)
{
    Report &report = bench.report;
    bench.sim.reset();
    bench.sim.freezeDrift(1);
    // Warm: the first cycles set up what the simulator and the locks keep.
    for (int i = 0; i < 20; ++i)
        runPollCycle();

    const int cycles = bench.quick ? 100 : 500;
    AllocationHooks hooks;
    const int patched = hooks.install(GetModuleHandleA(nullptr));
    // Between the two counts only the poll cycle runs: nothing of the
    // benchmark's own allocates there.
    const int framesBefore = bench.sim.frameCount();
    const HeapCensus censusBefore = takeHeapCensus();
    const int64_t start = qpcNow();
    const AllocationCounts before = AllocationHooks::counts();
    int failures = 0;
    for (int i = 0; i < cycles; ++i) {
        runPollCycle();
        if (lastError.load() != nullptr)
            ++failures;
    }
    const AllocationCounts after = AllocationHooks::counts();
    const double wallMs = ticksToMs(static_cast<double>(qpcNow() - start));
    const HeapCensus censusAfter = takeHeapCensus();
    hooks.remove();
    const long allocations = after.total() - before.total();
    const std::string breakdown = after.describeSince(before);
    const int frames = bench.sim.frameCount() - framesBefore;

    report.detail("Poll cycles: %d back-to-back cycles of the poll cycle linked into vornbench.exe (%d frames, "
                  "%d failed), %d import slots of vornbench.exe hooked: %ld allocations (%s); heap walk over the "
                  "whole process, simulator included: %+lld busy blocks, %+lld bytes.",
                  cycles, frames, failures, patched, allocations, breakdown.c_str(),
                  censusAfter.busyBlocks - censusBefore.busyBlocks, censusAfter.busyBytes - censusBefore.busyBytes);
    bench.cycleWallUs = wallMs * 1000 / cycles;
    report.detail("Those cycles took %.1f us each (wall time, one thread, no wire pacing, nothing to wait for).",
                  bench.cycleWallUs);
    report.row("5. Heap allocations per poll cycle (linked-in, back to back)",
               format("%ld in %d cycles", allocations, cycles), "0",
               allocations == 0 && patched > 0 && failures == 0 ? Verdict::Met : Verdict::Missed);
    return true;
}
