// Figure 7: the deepest stack use of VORN.dll's own poller, read from
// outside. A thread's stack pages come from the system zeroed, so the lowest
// non-zero byte above the guard page marks the deepest point. Measured with
// the settings error box (opened by a damaged refresh rate) and with cycles.
#include "bench/bench.h"

namespace {

struct StackUse {
    double deepestKb = 0;  // from the stack base down to the deepest non-zero byte
    double reservedKb = 0; // the whole stack reservation
};

// Zero when the thread cannot be inspected.
StackUse stackUse(DWORD threadId)
{
    struct {
        LONG exitStatus;
        NT_TIB *teb; // begins with the thread information block
        ULONG_PTR clientId[2], affinity, priority, basePriority;
    } basic = {};
    typedef LONG(WINAPI * QueryFn)(HANDLE, int, void *, ULONG, ULONG *);
    const auto query = exportOf<QueryFn>(GetModuleHandleA("ntdll.dll"), "NtQueryInformationThread");
    HANDLE thread = OpenThread(THREAD_QUERY_INFORMATION, FALSE, threadId);
    const bool ok = thread != nullptr && query != nullptr && query(thread, 0, &basic, sizeof basic, nullptr) == 0;
    if (thread != nullptr)
        CloseHandle(thread);
    if (!ok || basic.teb == nullptr)
        return {};
    const auto *base = static_cast<const char *>(basic.teb->StackBase);
    const char *low = base;
    MEMORY_BASIC_INFORMATION region;
    StackUse use;
    if (VirtualQuery(base - 1, &region, sizeof region) == sizeof region)
        use.reservedKb = static_cast<double>(base - static_cast<const char *>(region.AllocationBase)) / 1024;
    while (VirtualQuery(low - 1, &region, sizeof region) == sizeof region && region.State == MEM_COMMIT &&
           (region.Protect & (PAGE_READWRITE | PAGE_EXECUTE_READWRITE)) != 0 && (region.Protect & PAGE_GUARD) == 0)
        low = static_cast<const char *>(region.BaseAddress);
    const auto *word = reinterpret_cast<const uint32_t *>(low);
    while (reinterpret_cast<const char *>(word) < base && *word == 0)
        ++word;
    use.deepestKb = static_cast<double>(base - reinterpret_cast<const char *>(word)) / 1024;
    return use;
}

} // namespace

bool figurePollerStack(Bench &bench)
{
    bench.resetSimulator(false);
    StackUse box, cycles;
    if (bench.seed(true) && bench.window != nullptr) {
        Plugin plugin;
        plugin.start(bench.window);
        const DWORD poller = pumpSettingsBox(bench.window, true, 15000);
        char text[64] = {};
        // The box came from the refused setting, and loadSettings has returned.
        if (poller != 0 && std::strcmp(plugin.get<MeterFn>("GetValue")(text, "1"), kRateRefused) == 0)
            box = stackUse(poller);
    }
    if (bench.seed()) {
        Plugin plugin;
        plugin.start(nullptr);
        if (bench.awaitFrames(2, 5000))
            cycles = stackUse(bench.lastOpener());
    }
    if (box.deepestKb == 0 || cycles.deepestKb == 0)
        return bench.fail(box.deepestKb == 0 ? "poller stack: the settings box did not open and close (no display?)"
                                             : "poller stack: the poller ran no cycles");

    const double deepestKb = std::max(box.deepestKb, cycles.deepestKb), reservedKb = cycles.reservedKb;
    // The poller runs on the default stack, whose size the host's header
    // sets (1 MB as the linker writes it); the rest is room for what a
    // Windows host injects into every thread: hooks, input methods, scanners.
    bench.section("7. The poller's stack");
    bench.detail("Deepest use: %.1f KB with the settings error box shown and closed, %.1f KB with two poll cycles.",
                 box.deepestKb, cycles.deepestKb);
    bench.row("7. poller stack, deepest use", format("%.1f KB of %.0f KB", deepestKb, reservedKb),
              "<= default stack / 4", reservedKb > 0 && deepestKb * 4 <= reservedKb);
    return true;
}
