// vornbench: the plug-in's performance figures (docs/performance.md), each
// beside its target. Not a test: it exits non-zero only when a figure could
// not be measured at all. Run it next to VORN.dll and the simulated FTD2XX.dll.
#include "bench/bench.h"

bool figurePluginFile(Bench &), figureMeterCost(Bench &), figureMeterLatency(Bench &), figurePollCycle(Bench &),
    figureAllocations(Bench &), figurePollerStack(Bench &), figureIdlePoller(Bench &), figureDeviceSharing(Bench &),
    figureReload(Bench &), figureUnload(Bench &);

namespace {

// The figures, in the order they run. Each loads and unloads VORN.dll itself.
const struct {
    const char *name; // for --only
    bool (*run)(Bench &);
} kFigures[] = {
    {"file", figurePluginFile},       // the DLL's size, its stream/locale machinery
    {"cost", figureMeterCost},        // 1
    {"latency", figureMeterLatency},  // 2
    {"cycle", figurePollCycle},       // 3
    {"alloc", figureAllocations},     // 5, meters and exchanges
    {"stack", figurePollerStack},     // 7
    {"idle", figureIdlePoller},       // 4, and 5 for the real poller
    {"sharing", figureDeviceSharing}, // 6
    {"reload", figureReload},         // 8
    {"unload", figureUnload},         // 9
};

// The date and the machine, as Windows (here: Wine) reports them.
std::string describeRun()
{
    SYSTEMTIME t;
    GetSystemTime(&t);
    char cpu[128] = {};
    DWORD size = sizeof cpu - 1;
    RegGetValueA(HKEY_LOCAL_MACHINE, "HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0", "ProcessorNameString",
                 RRF_RT_REG_SZ, nullptr, cpu, &size);
    const auto wine = exportOf<const char *(__cdecl *)()>(GetModuleHandleA("ntdll.dll"), "wine_get_version");
    return format("Date: %04u-%02u-%02u %02u:%02u:%02u UTC\nMachine: %s, %lu logical processors; %s %s\n", t.wYear,
                  t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, cpu + std::strspn(cpu, " "),
                  GetActiveProcessorCount(ALL_PROCESSOR_GROUPS), wine ? "Wine" : "Windows", wine ? wine() : "");
}

} // namespace

int main(int argc, char **argv)
{
    Bench bench;
    const char *only = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--quick") == 0)
            bench.quick = true;
        else if (std::strcmp(argv[i], "--only") == 0 && i + 1 < argc)
            only = argv[++i];
        else {
            std::printf(
                "usage: vornbench [--quick] [--only NAME[,NAME...]]\n"
                "  --quick  fewer batches and rounds, shorter windows: a smoke run\n"
                "  --only   only the figures named:");
            for (const auto &f : kFigures)
                std::printf(" %s", f.name);
            std::printf("\n");
            return std::strcmp(argv[i], "--help") == 0 ? 0 : 2;
        }
    }
    const std::string header =
        format("vornbench: VORN.dll performance figures%s\n", bench.quick ? " (quick run)" : "") + describeRun();

    // vornbench imports the bridge library itself, so the simulator is loaded
    // already and VORN.dll binds to the same one.
    if (!bench.sim.load(GetModuleHandleA("FTD2XX.dll"))) {
        std::printf("%sFTD2XX.dll is not the simulator (missing %s)\n", header.c_str(), bench.sim.missing);
        return 1;
    }
    for (const auto &f : kFigures) {
        if (only == nullptr ||
            ("," + std::string(only) + ",").find("," + std::string(f.name) + ",") != std::string::npos)
            f.run(bench);
    }
    bench.resetSimulator(false);
    bench.section("How the figures are made");
    bench.detail(
        "Every figure drives VORN.dll through its exports and the simulator through its controls. Comparisons "
        "are interleaved in one run and reduced to medians over batches or rounds: the machine is shared and noisy.");
    bench.print(header);
    return bench.failures.empty() ? 0 : 1;
}
