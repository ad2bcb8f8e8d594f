// vornbench: the plug-in's performance figures, each beside its target,
// measured side by side in one run. Not a test: it reports, and exits 0
// whether or not the targets are met; non-zero only when a measurement could
// not be made at all. Run from the build folder, next to VORN.dll and the
// simulated FTD2XX.dll.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "bench/bench.h"
#include "bench/machine.h"

namespace {

void usage()
{
    std::printf(
        "usage: vornbench [--quick] [--reloads]\n"
        "  Loads VORN.dll and the simulated FTD2XX.dll from the current folder and prints the\n"
        "  plug-in's performance figures with their targets.\n"
        "  --quick  fewer batches and rounds, a 3-second idle window: a smoke run (~15 s).\n"
        "  --reloads  only the load/unload figure, then reloads until the poller no longer starts\n"
        "           (minutes).\n");
}

} // namespace

int main(int argc, char **argv)
{
    Bench bench;
    bool reloadsOnly = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--quick") == 0) {
            bench.quick = true;
        } else if (std::strcmp(argv[i], "--reloads") == 0) {
            reloadsOnly = true;
        } else if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            usage();
            return 0;
        } else {
            usage();
            return 2;
        }
    }

    std::string header = "vornbench: VORN.dll performance figures" + std::string(bench.quick ? " (quick run)" : "") +
                         "\nDate: " + currentDate() + "\n" + describeMachine();

    // vornbench links the poll cycle and so imports the bridge library
    // itself: the simulator is loaded already, and VORN.dll binds to it.
    bench.simulator = GetModuleHandleA("FTD2XX.dll");
    if (bench.simulator == nullptr || !bench.sim.load(bench.simulator)) {
        std::printf("%sFTD2XX.dll is not the simulator (missing %s)\n", header.c_str(),
                    bench.sim.missing ? bench.sim.missing : "module");
        return 1;
    }
    bench.sim.reset();
    if (reloadsOnly) {
        const bool measured = measurePollerStack(bench) && measureReloadAddressSpace(bench, true);
        bench.report.print(stdout, header);
        return measured && !bench.report.failed() ? 0 : 1;
    }
    bench.vorn = LoadLibraryA("VORN.dll");
    if (bench.vorn == nullptr) {
        std::printf("%sCannot load VORN.dll (error %lu)\n", header.c_str(), GetLastError());
        return 1;
    }

    // Each step runs alone: none overlaps another's threads. The poller CPU
    // step unloads VORN.dll at its end, so it comes last.
    bool ran = scanPluginFile(bench);
    ran = ran && measureMeterCost(bench);
    ran = ran && measureMeterAllocations(bench);
    ran = ran && measureMeterLatency(bench);
    ran = ran && measurePollCycleAllocations(bench);
    ran = ran && measurePollCycleTime(bench);
    ran = ran && measurePollerStack(bench);
    ran = ran && measurePollerCpu(bench);
    ran = ran && measureReloadAddressSpace(bench, false);

    bench.report.section("How the figures are made");
    bench.report.detail(
        "Times come from QueryPerformanceCounter; every comparison is measured side by side in "
        "this run, interleaved, and reduced to medians over many batches or rounds, because the "
        "machine is shared and noisy. Targets are judged on ratios where there is a reference.");
    bench.report.detail(
        "Figures 1 and 5 (meters) and 4 drive the real VORN.dll through its exports; 2, 3 and 5 "
        "(back-to-back cycles) use the same plug-in code linked into vornbench, so that the poll "
        "cycle can be run directly.");

    if (bench.vorn != nullptr)
        FreeLibrary(bench.vorn);
    bench.sim.reset();
    bench.report.print(stdout, header);
    std::fflush(stdout);
    return ran && !bench.report.failed() ? 0 : 1;
}
