// Figure 7: the deepest stack use of VORN.dll's own poller, read from
// outside. A thread's stack pages come from the system zeroed, so the lowest
// non-zero byte above the guard page marks the deepest point. Measured with
// the settings error box (opened by a damaged refresh rate) and with cycles.
#include <algorithm>
#include <cstring>

#include "bench/bench.h"

namespace {

struct StackUse {
    size_t deepest = 0;  // bytes from the stack base down to the deepest non-zero byte
    size_t reserved = 0; // the whole stack reservation
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
        use.reserved = static_cast<size_t>(base - static_cast<const char *>(region.AllocationBase));
    while (VirtualQuery(low - 1, &region, sizeof region) == sizeof region && region.State == MEM_COMMIT &&
           (region.Protect & (PAGE_READWRITE | PAGE_EXECUTE_READWRITE)) != 0 && (region.Protect & PAGE_GUARD) == 0)
        low = static_cast<const char *>(region.BaseAddress);
    const auto *word = reinterpret_cast<const uint32_t *>(low);
    while (reinterpret_cast<const char *>(word) < base && *word == 0)
        ++word;
    use.deepest = static_cast<size_t>(base - reinterpret_cast<const char *>(word));
    return use;
}

// Runs the poller's settings box: pumps this thread's messages (the box
// disables and activates its owner, this thread's window) and presses OK
// once the box shows, until it is gone. The poller's thread id, or 0.
DWORD runSettingsBox(HWND owner)
{
    DWORD poller = 0;
    for (const DWORD start = GetTickCount(); GetTickCount() - start < 15000;) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&message);
        HWND box = FindWindowExA(nullptr, nullptr, "#32770", nullptr);
        while (box != nullptr && GetWindow(box, GW_OWNER) != owner)
            box = FindWindowExA(nullptr, box, "#32770", nullptr);
        if (box == nullptr && poller != 0)
            return poller;
        if (box != nullptr && IsWindowVisible(box)) {
            poller = GetWindowThreadProcessId(box, nullptr);
            PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
    return 0;
}

} // namespace

bool figurePollerStack(Bench &bench)
{
    // Made before the seed maps HKCU, so that the display driver starts with the real one.
    HWND owner = CreateWindowExA(0, "STATIC", "vornbench owner", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr, nullptr,
                                 GetModuleHandleA(nullptr), nullptr);
    SettingsSeed settings;
    bench.resetSimulator(false);
    StackUse box, cycles;
    if (owner != nullptr && settings.seed(true)) {
        Plugin plugin;
        plugin.start(owner);
        const DWORD poller = runSettingsBox(owner);
        char text[64] = {};
        // The box came from the refused setting, and loadSettings has returned.
        if (poller != 0 && std::strcmp(plugin.get<MeterFn>("GetValue")(text, "1"), kRateRefused) == 0)
            box = stackUse(poller);
    }
    if (owner != nullptr)
        DestroyWindow(owner);
    if (settings.seed()) {
        Plugin plugin;
        plugin.start(nullptr);
        if (bench.awaitFrames(2, 5000))
            cycles = stackUse(bench.lastOpener());
    }
    if (box.deepest == 0 || cycles.deepest == 0)
        return bench.fail(box.deepest == 0 ? "poller stack: the settings box did not open and close (no display?)"
                                           : "poller stack: the poller ran no cycles");

    const double deepestKb = static_cast<double>(std::max(box.deepest, cycles.deepest)) / 1024;
    // The poller runs on the default stack, whose size the host's header
    // sets (1 MB as the linker writes it); the rest is room for what a
    // Windows host injects into every thread: hooks, input methods, scanners.
    const double reservedKb = static_cast<double>(cycles.reserved) / 1024;
    bench.section("7. The poller's stack");
    bench.detail(
        "Deepest use from the stack base: %.1f KB with the settings error box shown and closed, %.1f KB "
        "with two poll cycles; the poller has the default stack, %.0f KB reserved here.",
        static_cast<double>(box.deepest) / 1024, static_cast<double>(cycles.deepest) / 1024, reservedKb);
    bench.row("7. poller stack, deepest use", format("%.1f KB of %.0f KB", deepestKb, reservedKb),
              "<= default stack / 4", reservedKb > 0 && deepestKb * 4 <= reservedKb);
    return true;
}
