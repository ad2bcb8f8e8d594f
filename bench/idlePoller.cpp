// Figure 4: VORN.dll's own poller, one poll a second at the wire rate, while
// the host sleeps: its CPU time (GetThreadTimes; the process's as a
// cross-check), and its heap allocations (figure 5).
#include "bench/bench.h"

namespace {

// User and kernel time of a thread (or, for null, of the process), in ms.
double cpuMs(HANDLE thread)
{
    FILETIME t[4];
    const BOOL ok = thread != nullptr ? GetThreadTimes(thread, &t[0], &t[1], &t[2], &t[3])
                                      : GetProcessTimes(GetCurrentProcess(), &t[0], &t[1], &t[2], &t[3]);
    const auto ms = [](const FILETIME &f) {
        return (static_cast<uint64_t>(f.dwHighDateTime) << 32 | f.dwLowDateTime) / 1e4;
    };
    return ok ? ms(t[2]) + ms(t[3]) : 0;
}

} // namespace

bool figureIdlePoller(Bench &bench)
{
    const DWORD windowMs = bench.quick ? 3000 : 10000;
    Plugin plugin;
    if (!bench.seed() || !plugin.loaded())
        return bench.fail("idle poller: cannot seed the settings or load VORN.dll");
    bench.resetSimulator(true);
    AllocationHooks hooks(plugin.module());
    plugin.start(nullptr);
    const long startupAllocations = AllocationHooks::counted();
    // Steady state begins with the first frame, one interval after the start.
    HANDLE poller =
        bench.awaitFrames(1, 5000) ? OpenThread(THREAD_QUERY_INFORMATION, FALSE, bench.lastOpener()) : nullptr;
    if (poller == nullptr)
        return bench.fail("idle poller: no frame within 5 s, or the poller thread cannot be opened");

    const double threadBefore = cpuMs(poller), processBefore = cpuMs(nullptr);
    const int framesBefore = bench.sim.frameCount();
    AllocationHooks::counted(); // the window's count starts here
    const int64_t start = qpcNow();
    Sleep(windowMs);
    const double seconds = msSince(start) / 1000;
    std::string breakdown;
    const long allocations = AllocationHooks::counted(&breakdown);
    const int cycles = bench.sim.frameCount() - framesBefore;
    const double threadMs = cpuMs(poller) - threadBefore, processMs = cpuMs(nullptr) - processBefore;
    CloseHandle(poller);

    const double percent = threadMs / (seconds * 10), boundPercent = 10 / (seconds * 10);
    bench.section("4. The idle poller, one poll a second");
    bench.detail(
        "Poller CPU from GetThreadTimes; the whole process's (GetProcessTimes, main thread asleep) %.1f ms. "
        "VORN.dll's allocations: %ld by dllstartup (its instance block: the hooks see the DLL), %s in the window.",
        processMs, startupAllocations, breakdown.c_str());
    bench.row(format("4. Poller CPU, idle at rate 1 (%.0f s)", seconds),
              threadMs > 0
                  ? format("%.3f %% of a core (%.0f ms CPU in %.1f s, %d cycles)", percent, threadMs, seconds, cycles)
                  : format("< %.2f %% of a core (0 ms CPU in %.1f s, below the 10-ms clock step; %d cycles)",
                           boundPercent, seconds, cycles),
              "< 1 %", std::max(percent, boundPercent) < 1.0);
    bench.row("5. Heap allocations per poll cycle (VORN.dll's own poller)",
              format("%ld in %d cycles", allocations, cycles), "0",
              allocations == 0 && cycles > 0 && startupAllocations > 0);
    return true;
}
