// Figure 7: the poller's deepest stack use, against the stack it reserves.
// A thread of vornbench paints half a megabyte of its stack, then runs what
// the poller runs, with the plug-in's own code linked in: loadSettings with a
// damaged refresh rate and an owner window, so that the settings error box
// (FormatMessageA, MessageBoxA) opens and is closed by a second thread
// pressing OK, then poll cycles against the simulated controller. The
// deepest byte no longer holding the paint marks the deepest use.
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <cstring>

#include "bench/bench.h"
#include "bench/settingsSeed.h"
#include "poller/pollThread.h"
#include "poller/pollerLifecycle.h"
#include "settings/settingsStore.h"
#include "state/moduleState.h"

namespace {

constexpr unsigned char kPaint = 0xA5;
constexpr size_t kPaintedBytes = 512 * 1024;
constexpr size_t kPage = 4096;

struct Probe {
    SettingsSeed *settings = nullptr;
    std::atomic<DWORD> threadId{0};
    std::atomic<bool> done{false};
    std::atomic<bool> boxShown{false};
    int boxResult = -1;
    size_t deepestBytes = 0;
};

BOOL CALLBACK pressOk(HWND window, LPARAM pressed)
{
    char className[16] = {};
    if (GetClassNameA(window, className, sizeof className) > 0 && std::strcmp(className, "#32770") == 0) {
        PostMessageA(window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        *reinterpret_cast<bool *>(pressed) = true;
    }
    return TRUE;
}

DWORD WINAPI pressOkProc(LPVOID argument)
{
    Probe &probe = *static_cast<Probe *>(argument);
    for (int i = 0; i < 1000 && !probe.done.load(); ++i) {
        bool pressed = false;
        if (probe.threadId.load() != 0)
            EnumThreadWindows(probe.threadId.load(), pressOk, reinterpret_cast<LPARAM>(&pressed));
        if (pressed)
            probe.boxShown.store(true);
        Sleep(pressed ? 200 : 10);
    }
    return 0;
}

// Paints the stack from a little below this frame downwards, page by page,
// so that each page is committed in turn.
__attribute__((noinline)) char *paintStack()
{
    volatile char here = 0;
    uintptr_t top = reinterpret_cast<uintptr_t>(&here) - 2 * kPage;
    top -= top % kPage;
    char *bottom = reinterpret_cast<char *>(top - kPaintedBytes);
    for (uintptr_t page = top - kPage; page >= reinterpret_cast<uintptr_t>(bottom); page -= kPage)
        std::memset(reinterpret_cast<char *>(page), kPaint, kPage);
    return bottom;
}

DWORD WINAPI probeProc(LPVOID argument)
{
    Probe &probe = *static_cast<Probe *>(argument);
    char *bottom = paintStack();
    probe.threadId.store(GetCurrentThreadId());

    HWND owner = CreateWindowExA(0, "STATIC", "vornbench owner", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr, nullptr,
                                 GetModuleHandleA(nullptr), nullptr);
    int32_t interval = 0;
    probe.boxResult = loadSettings(owner, &deviceNumber, &interval);
    probe.settings->seed(0, 1);
    for (int cycle = 0; cycle < 3; ++cycle)
        runPollCycle();
    if (owner != nullptr)
        DestroyWindow(owner);

    // The thread's stack base, from its thread information block.
    uintptr_t stackBase = 0;
    asm("movl %%fs:4, %0" : "=r"(stackBase));
    const char *at = bottom;
    while (reinterpret_cast<uintptr_t>(at) < stackBase && static_cast<unsigned char>(*at) == kPaint)
        ++at;
    probe.deepestBytes = static_cast<size_t>(stackBase - reinterpret_cast<uintptr_t>(at));
    return 0;
}

} // namespace

bool measurePollerStack(Bench &bench)
{
    Report &report = bench.report;
    SettingsSeed settings;
    if (!settings.seed(0, 1) || !settings.damageRefreshRate()) {
        report.failure("poller stack: cannot seed HKCU\\Software\\Orvendel\\Plugins\\VORN");
        return false;
    }
    bench.sim.reset();
    bench.sim.freezeDrift(1);

    Probe probe;
    probe.settings = &settings;
    HANDLE presser = CreateThread(nullptr, 0, pressOkProc, &probe, 0, nullptr);
    HANDLE thread = CreateThread(nullptr, 1024 * 1024, probeProc, &probe, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    const bool ended = thread != nullptr && WaitForSingleObject(thread, 30000) == WAIT_OBJECT_0;
    probe.done.store(true);
    if (presser != nullptr) {
        WaitForSingleObject(presser, 15000);
        CloseHandle(presser);
    }
    if (thread != nullptr)
        CloseHandle(thread);
    lastError.store(nullptr);
    if (!ended || probe.boxResult != 1 || bench.sim.frameCount() < 3) {
        report.failure("poller stack: the probe did not run the box and three cycles");
        return false;
    }
    if (!probe.boxShown.load()) {
        report.failure("poller stack: the settings box did not open (no display?)");
        return false;
    }

    const double deepestKb = static_cast<double>(probe.deepestBytes) / 1024.0;
    // The poller runs on the default stack: the host's header decides it, and
    // hosts keep the linker's usual 1 MB.
    const double reserveKb = 1024.0;
    report.row("7. poller stack, deepest use", format("%.1f KB", deepestKb), format("<= %.0f KB / 4", reserveKb),
               deepestKb * 4 <= reserveKb ? Verdict::Met : Verdict::Missed);
    report.section("Poller stack (figure 7)");
    report.detail(
        "Deepest use %.1f KB from the thread's stack base, with the settings error box shown and closed "
        "and three poll cycles; the poller has the host's default stack, usually %.0f KB.",
        deepestKb, reserveKb);
    return true;
}
