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
        "usage: vornbench [--quick] [--sharing] [--reloads]\n"
        "  Loads VORN.dll and the simulated FTD2XX.dll from the current folder and prints the\n"
        "  plug-in's performance figures with their targets.\n"
        "  --quick    fewer batches and rounds, 3- and 4-second windows: a smoke run (~30 s).\n"
        "  --sharing  only figure 6, the device shared between the poller and fan commands.\n"
        "  --reloads  only the poller's stack and the load/unload figure, then reloads until the\n"
        "             poller no longer starts (minutes).\n");
}

} // namespace

int main(int argc, char **argv)
{
    Bench bench;
    bool reloadsOnly = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--quick") == 0) {
            bench.quick = true;
        } else if (std::strcmp(argv[i], "--sharing") == 0) {
            bench.sharingOnly = true;
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
    // step unloads VORN.dll at its end; device sharing loads it afresh and
    // unloads it again; the load/unload figure needs it unloaded; so those
    // three come last.
    bool ran = scanPluginFile(bench);
    if (!bench.sharingOnly) {
        ran = ran && measureMeterCost(bench);
        ran = ran && measureMeterAllocations(bench);
        ran = ran && measureMeterLatency(bench);
        ran = ran && measurePollCycleAllocations(bench);
        ran = ran && measurePollCycleTime(bench);
        ran = ran && measurePollerStack(bench);
        ran = ran && measurePollerCpu(bench);
    }
    ran = ran && measureDeviceSharing(bench);
    if (!bench.sharingOnly)
        ran = ran && measureReloadAddressSpace(bench, false);

    bench.report.section("How the figures are made");
    bench.report.detail(
        "Times come from QueryPerformanceCounter; every comparison is measured side by side in "
        "this run, interleaved, and reduced to medians over many batches or rounds, because the "
        "machine is shared and noisy. Targets are judged on ratios where there is a reference.");
    bench.report.detail(
        "Figures 1 and 5 (meters), 4, 6 and 8 drive the real VORN.dll through its exports; 2, 3, 5 "
        "(back-to-back cycles) and 7 use the same plug-in code linked into vornbench, so that the "
        "poll cycle and the poller's settings step can be run directly.");

    if (bench.vorn != nullptr)
        FreeLibrary(bench.vorn);
    bench.sim.reset();
    bench.report.print(stdout, header);
    std::fflush(stdout);
    return ran && !bench.report.failed() ? 0 : 1;
}
