// Figure 8: address space a host loses each time it loads and unloads the
// plug-in. Every cycle loads VORN.dll, calls dllstartup (which starts the
// poller), waits until the poller has run its start, and unloads it again.
// The refresh rate in the registry is damaged on purpose, so that the poller
// stops early and parks at once: every unload then finds it in the same
// place, and the meters tell whether it started ("Can't read refresh rate.")
// or not. Free address space is the sum of the free regions VirtualQuery
// reports below 2 GB.
//
// With --reloads, the loop goes on until the poller no longer starts (or
// 100,000 cycles) and reports how many reloads one process survives.
#include <windows.h>

#include <cstring>

#include "bench/bench.h"
#include "bench/settingsSeed.h"
#include "plugin/exports.h"

namespace {

const char kStartedText[] = "Can't read refresh rate.";

struct FreeSpace {
    double totalMb = 0;
    double largestMb = 0;
};

FreeSpace freeAddressSpace()
{
    FreeSpace space;
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    auto *at = static_cast<char *>(info.lpMinimumApplicationAddress);
    MEMORY_BASIC_INFORMATION region;
    while (at < info.lpMaximumApplicationAddress && VirtualQuery(at, &region, sizeof region) == sizeof region) {
        if (region.State == MEM_FREE) {
            const double mb = static_cast<double>(region.RegionSize) / (1024.0 * 1024.0);
            space.totalMb += mb;
            if (mb > space.largestMb)
                space.largestMb = mb;
        }
        at = static_cast<char *>(region.BaseAddress) + region.RegionSize;
    }
    return space;
}

// One load, start and unload. Returns the text the meters showed once the
// poller had had its chance to start, or "" when VORN.dll did not load.
std::string reloadOnce()
{
    HMODULE vorn = LoadLibraryA("VORN.dll");
    if (vorn == nullptr)
        return "";
    const auto dllstartup = exportOf<DllStartupFn>(vorn, "dllstartup");
    const auto dllshutdown = exportOf<DllShutdownFn>(vorn, "dllshutdown");
    const auto getValue = exportOf<MeterFn>(vorn, "GetValue");
    void *block = dllstartup(nullptr, 0);
    char buffer[64] = {};
    std::string shown;
    const DWORD start = GetTickCount();
    do {
        shown = getValue(buffer, "1");
        if (shown == kStartedText)
            break;
        Sleep(1);
    } while (GetTickCount() - start < 2000);
    dllshutdown(block);
    FreeLibrary(vorn);
    return shown;
}

} // namespace

bool measureReloadAddressSpace(Bench &bench, bool untilFailure)
{
    Report &report = bench.report;
    if (GetModuleHandleA("VORN.dll") != nullptr) {
        report.failure("reloads: VORN.dll is still loaded, so FreeLibrary would not unload it");
        return false;
    }
    SettingsSeed settings;
    if (!settings.seed(0, 1) || !settings.damageRefreshRate()) {
        report.failure("reloads: cannot seed HKCU\\Software\\Orvendel\\Plugins\\VORN");
        return false;
    }

    // The first reloads settle the process (heaps, caches); measure after.
    for (int i = 0; i < 5; ++i)
        reloadOnce();
    const int cycles = bench.quick ? 50 : 200;
    const FreeSpace before = freeAddressSpace();
    int started = 0;
    for (int i = 0; i < cycles; ++i)
        started += reloadOnce() == kStartedText ? 1 : 0;
    const FreeSpace after = freeAddressSpace();
    const double perReload = (before.totalMb - after.totalMb) / cycles;

    report.row("8. address space lost per load/unload", format("%.3f MB", perReload), "< 0.5 MB",
               perReload < 0.5 ? Verdict::Met : Verdict::Missed);
    report.section("Address space per load/unload (figure 8)");
    report.detail(
        "%d load/start/unload cycles, the poller parked after an early stop at each unload; the poller "
        "started in %d of them.",
        cycles, started);
    report.detail("Free address space %.1f MB before, %.1f MB after (largest free region %.1f MB, then %.1f MB).",
                  before.totalMb, after.totalMb, before.largestMb, after.largestMb);

    if (untilFailure) {
        int reloads = 0;
        std::string shown;
        for (; reloads < 100000; ++reloads) {
            shown = reloadOnce();
            if (shown != kStartedText)
                break;
        }
        const FreeSpace end = freeAddressSpace();
        report.row("8b. reloads until the poller no longer starts", format("%d", reloads + cycles + 5), "-",
                   Verdict::Info);
        report.detail(
            "After %d more reloads the meters showed \"%s\"; free address space %.1f MB, largest free "
            "region %.1f MB.",
            reloads, shown.c_str(), end.totalMb, end.largestMb);
    }
    return true;
}
