// Figure 2: meter latency seen by the host's threads while the poller
// publishes frames back to back, beside the same with the poller idle.
//
// Several reader threads call the seven meters (the copies linked into
// vornbench, the same code as VORN.dll's) and time every group of a few calls
// with QueryPerformanceCounter. Short phases of three kinds alternate, in
// rotating order, round after round:
// - idle:   only the readers run; the last frame stays published;
// - poller: a thread runs the poll cycle back to back against the simulator
//           (no wire pacing), publishing a new frame every few microseconds;
// - latch:  a thread publishes a fixed frame straight into the latch at the
//           poller's rate (as last measured), spinning in between: the
//           latch's write traffic and a busy thread, without the poll
//           cycle's system calls;
// - hog:    a thread that only spins takes the poller's place: the same
//           competition for the CPUs, without any publication.
// The figure is the median over rounds of p99.9(poller) / p99.9(idle) of the
// same round. latch / idle is what the publication itself costs a reader;
// hog / idle what a busy extra thread alone costs. With more runnable threads
// than cores (3 readers and a helper on 2 here), a group the scheduler
// interrupts takes a time slice; the "slow groups" column counts those, so a
// tail moved by preemption can be told from one moved by the latch.
#include <atomic>
#include <memory>
#include <vector>

#include "bench/bench.h"
#include "bench/meters.h"
#include "poller/pollThread.h"
#include "state/moduleState.h"

namespace {

constexpr int kCallsPerGroup = 10;
constexpr DWORD kJoinTimeoutMs = 10000;

enum Kind {
    kIdle,
    kPoller,
    kLatch,
    kHog,
    kKindCount
};
const char *const kKindNames[kKindCount] = {"idle", "poller", "latch", "hog"};

// Groups slower than this were, as good as certainly, interrupted.
constexpr double kSlowGroupNs = 10000;

struct PhaseControl {
    std::atomic<bool> stop{false};
};

struct Reader {
    PhaseControl *control = nullptr;
    int first = 0; // where in the meter rotation this reader starts
    TickHistogram histogram;
    long long groups = 0;
    long long notValues = 0; // calls that returned a message, not a reading
};

struct Helper {
    PhaseControl *control = nullptr;
    int64_t publishEveryTicks = 0; // latch kind: the pace of publication
    long cycles = 0;               // frames published
    long failures = 0;
    unsigned long spins = 0;
};

DWORD WINAPI readerProc(LPVOID argument)
{
    Reader &r = *static_cast<Reader *>(argument);
    char out[32];
    // One parameter per meter, mid-range.
    const char *parameters[kMeterCount];
    for (int m = 0; m < kMeterCount; ++m)
        parameters[m] = parameterText((kMeters[m].first + kMeters[m].last) / 2);
    int m = r.first;
    while (!r.control->stop.load(std::memory_order_relaxed)) {
        int notValues = 0;
        const int64_t start = qpcNow();
        for (int i = 0; i < kCallsPerGroup; ++i) {
            notValues += kMeters[m].linked(out, parameters[m]) != out;
            if (++m == kMeterCount)
                m = 0;
        }
        const int64_t ticks = qpcNow() - start;
        r.histogram.add(ticks);
        ++r.groups;
        r.notValues += notValues;
    }
    return 0;
}

DWORD WINAPI pollerProc(LPVOID argument)
{
    Helper &h = *static_cast<Helper *>(argument);
    while (!h.control->stop.load(std::memory_order_relaxed)) {
        runPollCycle();
        ++h.cycles;
        if (lastError.load() != nullptr)
            ++h.failures;
    }
    return 0;
}

DWORD WINAPI latchProc(LPVOID argument)
{
    Helper &h = *static_cast<Helper *>(argument);
    uint8_t frame[kStatusFrameSize];
    statusFrame.copyFrame(frame); // the readers keep seeing the same values
    int64_t next = qpcNow();
    while (!h.control->stop.load(std::memory_order_relaxed)) {
        publishStatusFrame(frame);
        ++h.cycles;
        next += h.publishEveryTicks;
        while (qpcNow() < next && !h.control->stop.load(std::memory_order_relaxed)) {
        }
    }
    return 0;
}

DWORD WINAPI hogProc(LPVOID argument)
{
    Helper &h = *static_cast<Helper *>(argument);
    volatile unsigned long spins = 0;
    while (!h.control->stop.load(std::memory_order_relaxed)) {
        for (int i = 0; i < 1000; ++i)
            spins = spins + 1;
    }
    h.spins = spins;
    return 0;
}

struct PhaseResult {
    double p50Ns = 0, p99Ns = 0, p999Ns = 0;
    long long calls = 0;
    long long slowGroups = 0;
    long long notValues = 0;
    long cycles = 0, failures = 0;
    double seconds = 0;
};

double groupTicksToCallNs(uint32_t ticks)
{
    return ticksToNs(ticks) / kCallsPerGroup;
}

// One phase: readers (and the helper of its kind) for phaseMs. False when a
// thread could not be started or did not end in time.
bool runPhase(Kind kind, std::vector<std::unique_ptr<Reader>> &readers, DWORD phaseMs, int64_t publishEveryTicks,
              PhaseResult &result, TickHistogram &pooled)
{
    // On the heap: should a thread fail to stop in time, these stay valid
    // for it (they are then left behind) while the benchmark reports and ends.
    std::unique_ptr<PhaseControl> controlOwner(new PhaseControl);
    std::unique_ptr<Helper> helperOwner(new Helper);
    PhaseControl &control = *controlOwner;
    Helper &helper = *helperOwner;
    helper.control = &control;
    helper.publishEveryTicks = publishEveryTicks;
    std::vector<HANDLE> threads;
    for (auto &r : readers) {
        r->control = &control;
        r->histogram.clear();
        r->groups = r->notValues = 0;
    }
    const int64_t start = qpcNow();
    bool started = true;
    for (auto &r : readers) {
        HANDLE t = CreateThread(nullptr, 0, readerProc, r.get(), 0, nullptr);
        started = started && t != nullptr;
        if (t != nullptr)
            threads.push_back(t);
    }
    if (kind != kIdle) {
        LPTHREAD_START_ROUTINE proc = kind == kPoller ? pollerProc : kind == kLatch ? latchProc : hogProc;
        HANDLE t = CreateThread(nullptr, 0, proc, helperOwner.get(), 0, nullptr);
        started = started && t != nullptr;
        if (t != nullptr)
            threads.push_back(t);
    }
    if (started)
        Sleep(phaseMs);
    control.stop.store(true);
    const DWORD waited = threads.empty() ? WAIT_OBJECT_0
                                         : WaitForMultipleObjects(static_cast<DWORD>(threads.size()), threads.data(),
                                                                  TRUE, kJoinTimeoutMs);
    result.seconds = msSince(start) / 1000;
    for (HANDLE t : threads)
        CloseHandle(t);
    if (waited == WAIT_TIMEOUT || waited == WAIT_FAILED) {
        controlOwner.release();
        helperOwner.release();
        for (auto &r : readers)
            r.release();
        return false;
    }
    if (!started)
        return false;

    TickHistogram merged;
    for (auto &r : readers) {
        merged.merge(r->histogram);
        result.calls += r->groups * kCallsPerGroup;
        result.notValues += r->notValues;
    }
    pooled.merge(merged);
    result.p50Ns = groupTicksToCallNs(merged.quantile(0.5));
    result.p99Ns = groupTicksToCallNs(merged.quantile(0.99));
    result.p999Ns = groupTicksToCallNs(merged.quantile(0.999));
    result.slowGroups = merged.countAbove(static_cast<uint32_t>(kSlowGroupNs * qpcFrequency() / 1e9));
    result.cycles = helper.cycles;
    result.failures = helper.failures;
    return true;
}

// What two back-to-back clock reads cost, in ticks (median of many).
double clockReadTicks()
{
    std::vector<double> samples;
    for (int i = 0; i < 10001; ++i) {
        const int64_t a = qpcNow();
        samples.push_back(static_cast<double>(qpcNow() - a));
    }
    return median(samples);
}

} // namespace

bool measureMeterLatency(Bench &bench)
{
    Report &report = bench.report;
    const int readerCount = 3;
    const int rounds = bench.quick ? 3 : 9;
    const DWORD phaseMs = bench.quick ? 250 : 400;

    bench.sim.reset();
    bench.sim.freezeDrift(1);
    runPollCycle(); // the frame the idle phases show
    if (lastError.load() != nullptr) {
        report.failure(format("meter latency: the first poll cycle failed: %s", lastError.load()));
        return false;
    }

    std::vector<std::unique_ptr<Reader>> readers;
    for (int i = 0; i < readerCount; ++i) {
        readers.emplace_back(new Reader);
        readers.back()->first = (i * 3) % kMeterCount;
    }

    // A first poller phase, not counted, gives the latch kind its pace; each
    // poller phase after it updates the pace.
    std::vector<PhaseResult> results[kKindCount];
    TickHistogram pooled[kKindCount];
    PhaseResult warmUp;
    TickHistogram unused;
    const auto paceOf = [&](const PhaseResult &poller) {
        return poller.cycles > 0 ? static_cast<int64_t>(poller.seconds * qpcFrequency() / poller.cycles)
                                 : qpcFrequency() / 10000;
    };
    if (!runPhase(kPoller, readers, phaseMs, 0, warmUp, unused)) {
        report.failure("meter latency: a reader or helper thread could not start or did not stop");
        return false;
    }
    int64_t publishEveryTicks = paceOf(warmUp);
    for (int round = 0; round < rounds; ++round) {
        for (int k = 0; k < kKindCount; ++k) {
            const Kind kind = static_cast<Kind>((round + k) % kKindCount);
            PhaseResult result;
            if (!runPhase(kind, readers, phaseMs, publishEveryTicks, result, pooled[kind])) {
                report.failure("meter latency: a reader or helper thread could not start or did not stop");
                return false;
            }
            if (kind == kPoller)
                publishEveryTicks = paceOf(result);
            results[kind].push_back(result);
        }
    }

    std::vector<double> p999[kKindCount], ratioToIdle[kKindCount];
    for (int k = 0; k < kKindCount; ++k) {
        for (const PhaseResult &r : results[k])
            p999[k].push_back(r.p999Ns);
    }
    for (int k = 0; k < kKindCount; ++k) {
        for (int round = 0; round < rounds; ++round)
            ratioToIdle[k].push_back(p999[k][round] / p999[kIdle][round]);
    }
    const double ratio = median(ratioToIdle[kPoller]);

    SYSTEM_INFO info;
    GetNativeSystemInfo(&info);
    report.section("2. Meter latency while the poller publishes back to back");
    report.detail(
        "%d reader threads on %lu logical processors; %d rounds of four %lu-ms phases (idle, poller, "
        "latch, hog) in rotating order.",
        readerCount, info.dwNumberOfProcessors, rounds, phaseMs);
    report.detail(
        "Latency of one call = QPC time of a group of %d consecutive meter calls / %d (QPC: %lld ticks/s; "
        "two back-to-back reads %.0f tick(s) apart, included).",
        kCallsPerGroup, kCallsPerGroup, static_cast<long long>(qpcFrequency()), clockReadTicks());
    report.detail("%-7s %12s %8s %8s %9s %13s %13s %11s %10s", "phase", "calls/phase", "p50 ns", "p99 ns", "p99.9 ns",
                  "p99.9/idle", "slow groups", "frames/s", "not values");
    for (int k = 0; k < kKindCount; ++k) {
        std::vector<double> calls, p50, p99, slow, rate;
        long long notValues = 0;
        long failures = 0;
        for (const PhaseResult &r : results[k]) {
            calls.push_back(static_cast<double>(r.calls));
            p50.push_back(r.p50Ns);
            p99.push_back(r.p99Ns);
            slow.push_back(static_cast<double>(r.slowGroups));
            rate.push_back(r.seconds > 0 ? r.cycles / r.seconds : 0);
            notValues += r.notValues;
            failures += r.failures;
        }
        report.detail("%-7s %12.0f %8.1f %8.1f %9.1f %13.2f %13.0f %11.0f %10lld", kKindNames[k], median(calls),
                      median(p50), median(p99), median(p999[k]), median(ratioToIdle[k]), median(slow), median(rate),
                      notValues);
        if (failures != 0)
            report.detail("        %ld poll cycles failed in %s phases", failures, kKindNames[k]);
    }
    report.detail(
        "(medians over rounds; slow groups: groups of %d calls that took over %.0f us, i.e. were "
        "interrupted; not values: calls that returned a message instead of a reading, all phases)",
        kCallsPerGroup, kSlowGroupNs / 1000);
    report.detail(
        "Per-round poller/idle ratios range %.2f..%.2f. Pooled over all rounds, p99.9: idle %.1f ns, "
        "poller %.1f ns, latch %.1f ns, hog %.1f ns.",
        quantile(ratioToIdle[kPoller], 0.0), quantile(ratioToIdle[kPoller], 1.0),
        groupTicksToCallNs(pooled[kIdle].quantile(0.999)), groupTicksToCallNs(pooled[kPoller].quantile(0.999)),
        groupTicksToCallNs(pooled[kLatch].quantile(0.999)), groupTicksToCallNs(pooled[kHog].quantile(0.999)));
    report.row(format("2. Meter latency p99.9, poller publishing (%d readers)", readerCount),
               format("%.0f ns vs %.0f ns idle (ratio %.2f; latch alone %.2f, busy thread alone %.2f)",
                      median(p999[kPoller]), median(p999[kIdle]), ratio, median(ratioToIdle[kLatch]),
                      median(ratioToIdle[kHog])),
               "<= 2x idle", ratio <= 2.0 ? Verdict::Met : Verdict::Missed);
    return true;
}
