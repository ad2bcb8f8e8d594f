// Figure 6: the device shared between VORN.dll's poller (at the wire rate)
// and 1, then 4, host threads calling SetFanPercentage back to back: the
// longest gap between poll reads (the window's edges count as reads), and
// the longest call. Figure 9: how long FreeLibrary keeps the host waiting in
// each place the poller may be, other programs' fan commands among them.
// Bounds in docs/performance.md.
#include <algorithm>
#include <memory>

#include "bench/bench.h"

namespace {

constexpr char kBusy[] = "SetFanPercentage: Device busy, command not sent.";

// One window, shared by its senders.
struct Window {
    SetFanPercentageFn setFan;
    std::atomic<bool> stop{false};
    std::atomic<int> senders{0};
    std::atomic<long> calls{0}, busy{0}, otherFailures{0}, longestCallUs{0};
    double ms = 0, longestGapMs = 0;
    int reads = 0;
};

DWORD WINAPI senderProc(LPVOID argument)
{
    Window &w = *static_cast<Window *>(argument);
    const char *fan = parameterText(w.senders++ % SIM_FANS);
    char buffer[16];
    for (long n = 0; !w.stop.load(); ++n) {
        const int64_t start = qpcNow();
        const char *result = w.setFan(buffer, fan, n % 2 ? "70" : "30");
        const long us = static_cast<long>(msSince(start) * 1000);
        for (long longest = w.longestCallUs; us > longest && !w.longestCallUs.compare_exchange_weak(longest, us);) {
        }
        ++w.calls;
        if (result != nullptr)
            ++(lstrcmpA(result, kBusy) == 0 ? w.busy : w.otherFailures);
    }
    return 0;
}

// Notes every poll read until the window ends.
void watchPollReads(const Bench &bench, Window &w, DWORD windowMs)
{
    const int64_t start = qpcNow();
    double lastRead = 0;
    for (int frames = bench.sim.frameCount(); msSince(start) < windowMs; Sleep(1)) {
        if (bench.sim.frameCount() == frames)
            continue;
        const double at = msSince(start);
        w.longestGapMs = std::max(w.longestGapMs, at - lastRead);
        w.reads += bench.sim.frameCount() - frames;
        frames = bench.sim.frameCount();
        lastRead = at;
    }
    w.ms = msSince(start);
    w.longestGapMs = std::max(w.longestGapMs, w.ms - lastRead);
}

} // namespace

bool figureDeviceSharing(Bench &bench)
{
    const DWORD windowMs = bench.quick ? 4000 : 8000;
    SettingsSeed settings;
    Plugin plugin;
    const auto setFan = plugin.get<SetFanPercentageFn>("SetFanPercentage");
    if (!settings.seed() || setFan == nullptr)
        return bench.fail("device sharing: cannot seed the settings or load VORN.dll");
    bench.resetSimulator(true);
    plugin.start(nullptr);
    if (!bench.awaitFrames(1, 5000))
        return bench.fail("device sharing: the poller published no frame within 5 s");

    const double gapBoundMs = 1000 + 2 * kWireMs, callBoundMs = 2 * kWireMs;
    bench.section("6. Device sharing: the poller beside host threads sending fan commands without pause");
    for (int senders : {1, 4}) {
        auto *w = new Window; // left to the senders should one not stop
        w->setFan = setFan;
        bench.awaitFrames(1, 3000); // the window starts just after a poll read
        if (!runThreads(std::vector<ThreadSpec>(senders, {senderProc, w}), w->stop,
                        [&] { watchPollReads(bench, *w, windowMs); }))
            return bench.fail("device sharing: a sender did not stop within 15 s");
        const double longestCallMs = w->longestCallUs / 1000.0;
        bench.detail(
            "%d sender(s), %.1f-s window: %d poll reads, longest gap %.0f ms; %ld calls, longest %.1f ms; "
            "busy %ld, other failures %ld.",
            senders, w->ms / 1000, w->reads, w->longestGapMs, w->calls.load(), longestCallMs, w->busy.load(),
            w->otherFailures.load());
        bench.row(format("6. Poll gap, %d sender(s) looping SetFanPercentage", senders),
                  format("%.0f ms (%d reads in %.1f s)", w->longestGapMs, w->reads, w->ms / 1000),
                  format("<= %.0f ms", gapBoundMs), w->longestGapMs <= gapBoundMs);
        bench.row(format("6. Longest SetFanPercentage call, %d sender(s)", senders),
                  format("%.1f ms (%ld calls, %ld busy)", longestCallMs, w->calls.load(), w->busy.load()),
                  format("<= %.0f ms, 0 busy", callBoundMs),
                  longestCallMs <= callBoundMs && w->busy == 0 && w->otherFailures == 0);
        delete w;
        // The poller's next read comes before the next window (a starved cycle is skipped after 10 s).
        bench.awaitFrames(1, 12000);
    }
    return true;
}

namespace {

// Where the poller is when the host unloads the plug-in.
struct UnloadState {
    const char *name;
    int gateLimitMs = 0;          // > 0: the poller's read is held that long
    bool box = false;             // the settings box open (a damaged refresh rate)
    int senders = 0, writeMs = 0; // other programs' fan commands, writes held this long
};

// Pumps this thread's messages (the box disables its owner, this thread's
// window) until a box owned by owner shows; false after 5 s.
bool awaitBox(HWND owner)
{
    for (const DWORD start = GetTickCount(); GetTickCount() - start < 5000;) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&message);
        for (HWND box = FindWindowExA(nullptr, nullptr, "#32770", nullptr); box != nullptr;
             box = FindWindowExA(nullptr, box, "#32770", nullptr)) {
            if (GetWindow(box, GW_OWNER) == owner && IsWindowVisible(box))
                return true;
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
    return false;
}

// One unload in the given state: its time in ms, or a negative value when
// the state could not be reached.
double unloadIn(Bench &bench, const UnloadState &state, SetFanPercentageFn otherProgram, SettingsSeed &settings)
{
    HWND owner = state.box ? CreateWindowExA(0, "STATIC", "vornbench host", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100,
                                             nullptr, nullptr, GetModuleHandleA(nullptr), nullptr)
                           : nullptr;
    settings.seed(state.box);
    bench.resetSimulator(false);
    if (state.writeMs > 0)
        bench.sim.holdCall(SIM_OP_WRITE, state.writeMs, -1);
    auto *w = new Window; // left to the senders should one not stop
    w->setFan = otherProgram;
    double ms = -1;
    runThreads(std::vector<ThreadSpec>(state.senders, {senderProc, w}), w->stop, [&] {
        auto plugin = std::make_unique<Plugin>();
        if (state.gateLimitMs > 0) {
            bench.sim.setGateLimit(state.gateLimitMs);
            bench.sim.gateClose();
        }
        plugin->start(owner);
        bool reached = true;
        if (state.box)
            reached = awaitBox(owner);
        else if (state.gateLimitMs > 0)
            reached = [&] {
                for (const DWORD start = GetTickCount(); GetTickCount() - start < 5000; Sleep(1)) {
                    if (bench.sim.gateWaiting() > 0)
                        return true;
                }
                return false;
            }();
        else
            Sleep(1500); // the first cycle is due: done (idle), or waiting behind the senders
        const int64_t start = qpcNow();
        plugin.reset();
        if (reached)
            ms = msSince(start);
        bench.sim.holdCall(SIM_OP_WRITE, 0, 0);
        bench.sim.gateOpen();
    });
    delete w;
    if (owner != nullptr)
        DestroyWindow(owner);
    return ms;
}

} // namespace

bool figureUnload(Bench &bench)
{
    // Other programs' fan commands come from a second copy of the plug-in, a
    // module of its own in this process: it takes its turns on the
    // controller's lock as another host's plug-in does, and the unload of the
    // first copy leaves it running.
    char copy[MAX_PATH] = {}, original[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, copy);
    lstrcatA(copy, "vornbench-other-program.dll");
    GetFullPathNameA("VORN.dll", MAX_PATH, original, nullptr);
    HMODULE other = CopyFileA(original, copy, FALSE) ? LoadLibraryA(copy) : nullptr;
    const auto otherSetFan = exportOf<SetFanPercentageFn>(other, "SetFanPercentage");
    SettingsSeed settings;
    if (otherSetFan == nullptr)
        return bench.fail("unload: cannot load a second copy of VORN.dll");

    const int crowd = bench.quick ? 10 : 40;
    const UnloadState states[] = {
        {"idle, between cycles"},
        {"in a cycle (a 1-s read)", 1000},
        {"in a hung read (9 s)", 9000},
        {"its settings box open", 0, true},
        {"behind 4 fan commands of 300 ms", 0, false, 4, 300},
        {"behind a crowd of fan commands of 300 ms", 0, false, crowd, 300},
    };
    bench.section("9. FreeLibrary: how long the host waits, with the poller in each place");
    double worst = 0;
    const char *worstState = "";
    for (const UnloadState &state : states) {
        const double ms = unloadIn(bench, state, otherSetFan, settings);
        if (ms < 0)
            return bench.fail(format("unload: the poller did not get %s", state.name));
        bench.detail("%-46s %7.1f ms%s", state.name, ms,
                     state.senders > 0 ? format(" (%d senders)", state.senders).c_str() : "");
        if (ms > worst)
            worst = ms, worstState = state.name;
    }
    FreeLibrary(other);
    DeleteFileA(copy);
    bench.row("9. FreeLibrary, worst of 6 states", format("%.0f ms (%s)", worst, worstState), "<= 5500 ms",
              worst <= 5500);
    return true;
}
