// Figure 6: the device shared between VORN.dll's poller (at the wire rate)
// and 1, then 4, host threads calling SetFanPercentage back to back: the
// longest gap between poll reads (the window's edges count as reads), and
// the longest call. Figure 9: how long dllshutdown and FreeLibrary keep the
// host waiting in each place the poller may be, other programs' fan commands
// among them, and with a host thread inside a call that waits.
// Bounds in docs/performance.md.
#include "bench/bench.h"

#include <utility>

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

// `count` senders loop on setFan while meanwhile() runs on this thread. The
// window, or null when a sender did not stop (the window is then left to them).
std::unique_ptr<Window> runSenders(int count, SetFanPercentageFn setFan, const std::function<void(Window &)> &meanwhile)
{
    std::unique_ptr<Window> w(new Window);
    w->setFan = setFan;
    if (runThreads(std::vector<ThreadSpec>(count, {senderProc, w.get()}), w->stop, [&] { meanwhile(*w); }))
        return w;
    w.release();
    return nullptr;
}

// Notes every poll read until the window ends.
void watchPollReads(const Bench &bench, Window &w, DWORD windowMs)
{
    const int64_t start = qpcNow();
    double lastRead = 0;
    for (int frames = bench.sim.frameCount(), now; (w.ms = msSince(start)) < windowMs; Sleep(1)) {
        if ((now = bench.sim.frameCount()) == frames)
            continue;
        w.longestGapMs = std::max(w.longestGapMs, w.ms - lastRead);
        w.reads += now - frames;
        frames = now;
        lastRead = w.ms;
    }
    w.longestGapMs = std::max(w.longestGapMs, w.ms - lastRead);
}

// Where the poller is when the host unloads the plug-in, and what the host's
// own threads are doing in it.
struct UnloadState {
    const char *name;
    int gateLimitMs = 0;          // > 0: the poller's read is held that long
    bool box = false;             // the settings box open (a damaged refresh rate)
    int senders = 0, writeMs = 0; // other programs' fan commands, writes held this long
    int hostReadMs = 0;           // > 0: a host thread inside readFromVorn, held that long
    int closeHelperMs = 0;        // > 0: a host's fan command inside FT_Close, joining a thread that long
};

// A host thread's call in flight during the unload; awaited (bounded) at the
// end of its scope.
struct HostCall {
    std::function<void()> body;
    HANDLE thread = nullptr;
    static DWORD WINAPI run(LPVOID argument)
    {
        static_cast<HostCall *>(argument)->body();
        return 0;
    }
    void begin(std::function<void()> call)
    {
        body = std::move(call);
        thread = CreateThread(nullptr, 0, run, this, 0, nullptr);
    }
    // Waits (bounded) for the call to return.
    void finish()
    {
        if (thread != nullptr) {
            WaitForSingleObject(thread, 15000);
            CloseHandle(thread);
        }
        thread = nullptr;
    }
    ~HostCall() { finish(); }
};

// The host's call of the state, begun once the poller is started: true when
// it is inside the bridge library.
bool beginHostCall(Bench &bench, const UnloadState &state, const Plugin &plugin, HostCall &call)
{
    if (state.hostReadMs > 0) {
        // Opened by the host, the device is refused to the poller meanwhile.
        FT_HANDLE handle = nullptr;
        const auto open = plugin.get<OpenConnectionFn>("openConnection");
        if (!waitUntil(3000, [&] { return open(0, &handle) == nullptr; }))
            return false;
        bench.sim.readDelay(state.hostReadMs, 1);
        // A read of an earlier state's poller, cut off inside the library,
        // still counts as in progress.
        const int readsBefore = bench.sim.counts().readsInProgress;
        const auto read = plugin.get<ReadFromVornFn>("readFromVorn");
        const auto close = exportOf<decltype(&FT_Close)>(GetModuleHandleA("FTD2XX.dll"), "FT_Close");
        call.begin([read, close, handle] {
            uint8_t frame[SIM_FRAME_SIZE];
            read(handle, frame);
            close(handle);
        });
        return waitUntil(5000, [&] { return bench.sim.counts().readsInProgress > readsBefore; });
    }
    // Just after a poll, so that the command's close comes before the next.
    if (!bench.awaitFrames(1, 3000))
        return false;
    bench.sim.helperThread(SIM_OP_CLOSE, state.closeHelperMs, 1);
    const int helpersBefore = bench.sim.helperThreadsRunning();
    const auto setFan = plugin.get<SetFanPercentageFn>("SetFanPercentage");
    call.begin([setFan] {
        char buffer[16];
        setFan(buffer, "1", "50");
    });
    return waitUntil(5000, [&] { return bench.sim.helperThreadsRunning() > helpersBefore; });
}

// One unload in the given state: its time in ms, or -1 when the state was not reached.
double unloadIn(Bench &bench, const UnloadState &state, SetFanPercentageFn otherProgram)
{
    bench.seed(state.box);
    HWND owner = state.box ? bench.window : nullptr;
    bench.resetSimulator(false);
    if (state.writeMs > 0)
        bench.sim.holdCall(SIM_OP_WRITE, state.writeMs, -1);
    double ms = -1;
    runSenders(state.senders, otherProgram, [&](Window &) {
        HostCall call; // outlives the plug-in's scope: the call ends after the unload
        auto plugin = std::make_unique<Plugin>();
        if (state.gateLimitMs > 0) {
            bench.sim.setGateLimit(state.gateLimitMs);
            bench.sim.gateClose();
        }
        plugin->start(owner);
        bool reached = true;
        if (state.box)
            reached = pumpSettingsBox(owner, false, 5000) != 0;
        else if (state.hostReadMs > 0 || state.closeHelperMs > 0)
            reached = beginHostCall(bench, state, *plugin, call);
        else if (state.gateLimitMs > 0)
            reached = waitUntil(5000, [&] { return bench.sim.gateWaiting() > 0; });
        else if (state.senders == 0)
            reached = bench.awaitFrames(1, 3000); // its first cycle done: idle
        else // its first cycle due a second after the start, behind turns of 300 ms
            reached = (Sleep(1300), bench.sim.frameCount() == 0);
        if (!reached)
            call.finish(); // a call that began late would enter an unloaded module
        const int64_t start = qpcNow();
        plugin.reset();
        ms = reached ? msSince(start) : -1;
        bench.sim.holdCall(SIM_OP_WRITE, 0, 0);
        bench.sim.gateOpen();
    });
    return ms;
}

} // namespace

bool figureDeviceSharing(Bench &bench)
{
    const DWORD windowMs = bench.quick ? 4000 : 8000;
    Plugin plugin;
    const auto setFan = plugin.get<SetFanPercentageFn>("SetFanPercentage");
    if (!bench.seed() || setFan == nullptr)
        return bench.fail("device sharing: cannot seed the settings or load VORN.dll");
    bench.resetSimulator(true);
    plugin.start(nullptr);
    if (!bench.awaitFrames(1, 5000))
        return bench.fail("device sharing: the poller published no frame within 5 s");

    const double gapBoundMs = 1000 + 2 * kWireMs, callBoundMs = 2 * kWireMs;
    bench.section("6. Device sharing: the poller beside host threads sending fan commands without pause");
    for (int senders : {1, 4}) {
        bench.awaitFrames(1, 3000); // the window starts just after a poll read
        const auto w = runSenders(senders, setFan, [&](Window &watched) { watchPollReads(bench, watched, windowMs); });
        if (w == nullptr)
            return bench.fail("device sharing: a sender did not stop within 15 s");
        const double longestCallMs = w->longestCallUs / 1000.0;
        bench.detail("%d sender(s): %ld calls failed other than busy.", senders, w->otherFailures.load());
        bench.row(format("6. Poll gap, %d sender(s) looping SetFanPercentage", senders),
                  format("%.0f ms (%d reads in %.1f s)", w->longestGapMs, w->reads, w->ms / 1000),
                  format("<= %.0f ms", gapBoundMs), w->longestGapMs <= gapBoundMs);
        bench.row(format("6. Longest SetFanPercentage call, %d sender(s)", senders),
                  format("%.1f ms (%ld calls, %ld busy)", longestCallMs, w->calls.load(), w->busy.load()),
                  format("<= %.0f ms, 0 busy", callBoundMs),
                  longestCallMs <= callBoundMs && w->busy == 0 && w->otherFailures == 0);
        // The poller's next read comes before the next window (a starved cycle is skipped after 10 s).
        bench.awaitFrames(1, 12000);
    }
    return true;
}

bool figureUnload(Bench &bench)
{
    // Other programs' fan commands come from a second copy of the plug-in, a
    // module of its own in this process: it takes its turns on the
    // controller's lock as another host's plug-in does, and the unload of the
    // first copy leaves it running.
    char copy[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, copy);
    lstrcatA(copy, "vornbench-other-program.dll");
    HMODULE other = CopyFileA("VORN.dll", copy, FALSE) ? LoadLibraryA(copy) : nullptr;
    const auto otherSetFan = exportOf<SetFanPercentageFn>(other, "SetFanPercentage");
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
        {"a host thread in a 3-s readFromVorn", 0, false, 0, 0, 3000},
        {"a host's fan command in a 1-s FT_Close", 0, false, 0, 0, 0, 1000},
    };
    constexpr int kStates = sizeof states / sizeof states[0];
    bench.section("9. FreeLibrary: how long the host waits, with the poller in each place");
    double worst = 0;
    const char *worstState = "";
    for (const UnloadState &state : states) {
        const double ms = unloadIn(bench, state, otherSetFan);
        if (ms < 0)
            return bench.fail(format("unload: the poller did not get %s", state.name));
        bench.detail("%-46s %7.1f ms%s", state.name, ms,
                     state.senders > 0 ? format(" (%d senders)", state.senders).c_str() : "");
        if (ms > worst)
            worst = ms, worstState = state.name;
    }
    FreeLibrary(other);
    DeleteFileA(copy);
    bench.row(format("9. FreeLibrary, worst of %d states", kStates), format("%.0f ms (%s)", worst, worstState),
              "<= 5500 ms", worst <= 5500);
    return true;
}
