// Figure 6: the device shared between VORN.dll's poller (at the wire rate)
// and 1, then 4, host threads calling SetFanPercentage back to back: the
// longest gap between poll reads (the window's edges count as reads), and
// the longest call. Bounds in docs/performance.md.
#include <algorithm>

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
