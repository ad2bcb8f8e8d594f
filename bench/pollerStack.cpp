// Figure 7: the deepest stack use of VORN.dll's own poller, read from
// outside. A thread's stack pages come from the system zeroed, so the lowest
// non-zero byte above the guard page marks the deepest point. Measured with
// the settings error box (opened by a damaged refresh rate) and with cycles.
#include <algorithm>
#include <cstring>

#include "bench/bench.h"

namespace {

// Bytes from the thread's stack base down to the deepest non-zero byte; 0
// when the thread cannot be inspected.
size_t stackDepth(DWORD threadId)
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
        return 0;
    const auto *base = static_cast<const char *>(basic.teb->StackBase);
    const char *low = base;
    MEMORY_BASIC_INFORMATION region;
    while (VirtualQuery(low - 1, &region, sizeof region) == sizeof region && region.State == MEM_COMMIT &&
           (region.Protect & (PAGE_READWRITE | PAGE_EXECUTE_READWRITE)) != 0 && (region.Protect & PAGE_GUARD) == 0)
        low = static_cast<const char *>(region.BaseAddress);
    const auto *word = reinterpret_cast<const uint32_t *>(low);
    while (reinterpret_cast<const char *>(word) < base && *word == 0)
        ++word;
    return static_cast<size_t>(base - reinterpret_cast<const char *>(word));
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
    size_t boxDepth = 0, cyclesDepth = 0;
    if (owner != nullptr && settings.seed(true)) {
        Plugin plugin;
        plugin.start(owner);
        const DWORD poller = runSettingsBox(owner);
        char text[64] = {};
        // The box came from the refused setting, and loadSettings has returned.
        if (poller != 0 && std::strcmp(plugin.get<MeterFn>("GetValue")(text, "1"), kRateRefused) == 0)
            boxDepth = stackDepth(poller);
    }
    if (owner != nullptr)
        DestroyWindow(owner);
    if (settings.seed()) {
        Plugin plugin;
        plugin.start(nullptr);
        cyclesDepth = bench.awaitFrames(2, 5000) ? stackDepth(bench.lastOpener()) : 0;
    }
    if (boxDepth == 0 || cyclesDepth == 0)
        return bench.fail(boxDepth == 0 ? "poller stack: the settings box did not open and close (no display?)"
                                        : "poller stack: the poller ran no cycles");

    const double deepestKb = static_cast<double>(std::max(boxDepth, cyclesDepth)) / 1024;
    bench.section("7. The poller's stack");
    bench.detail(
        "Deepest use from the stack base: %.1f KB with the settings error box shown and closed, %.1f KB "
        "with two poll cycles (Wine rounds every stack up to 1 MB).",
        static_cast<double>(boxDepth) / 1024, static_cast<double>(cyclesDepth) / 1024);
    bench.row("7. poller stack, deepest use", format("%.1f KB", deepestKb), "<= 256 KB / 4", deepestKb * 4 <= 256);
    return true;
}
