// Figure 2: the meters' tail latency in three reader threads while frames
// are published back to back (the DLL's status exchange on an unpaced
// simulator), beside the same with nothing published: per round p99.9 /
// p99.9 idle, median over rounds.
#include <numeric>

#include "bench/bench.h"

namespace {

constexpr int kCallsPerGroup = 10, kReaders = 3;
constexpr int kIdle = 0, kPublishing = 1, kKinds = 2; // the phases

// Exact quantiles of small tick counts without keeping every sample: a count
// per tick value (the clock never goes back).
struct Histogram {
    std::vector<uint64_t> counts = std::vector<uint64_t>(65536);
    void add(int64_t ticks) { ++counts[static_cast<size_t>(std::min<int64_t>(ticks, 65535))]; }
    void merge(const Histogram &other)
    {
        for (size_t i = 0; i < counts.size(); ++i)
            counts[i] += other.counts[i];
    }
    double quantileNs(double q) const
    {
        const double total = static_cast<double>(std::accumulate(counts.begin(), counts.end(), uint64_t{0}));
        uint64_t seen = 0;
        size_t i = 0;
        while (i + 1 < counts.size() && (seen += counts[i]) < q * total)
            ++i;
        return ticksToMs(static_cast<double>(i)) * 1e6 / kCallsPerGroup;
    }
};

struct Phase {
    const Plugin *plugin;
    std::atomic<bool> stop{false};
    std::atomic<int> readers{0};
    MeterFn meters[kMeterCount];
    const char *parameters[kMeterCount]; // one per meter, mid-range
    Histogram histograms[kReaders];
    long published = 0;
};

DWORD WINAPI readerProc(LPVOID argument)
{
    Phase &p = *static_cast<Phase *>(argument);
    const int reader = p.readers++;
    char out[32];
    int m = (reader * 3) % kMeterCount;
    while (!p.stop.load(std::memory_order_relaxed)) {
        const int64_t start = qpcNow();
        for (int i = 0; i < kCallsPerGroup; ++i, m = m + 1 == kMeterCount ? 0 : m + 1)
            p.meters[m](out, p.parameters[m]);
        p.histograms[reader].add(qpcNow() - start);
    }
    return 0;
}

DWORD WINAPI publisherProc(LPVOID argument)
{
    Phase &p = *static_cast<Phase *>(argument);
    while (!p.stop.load(std::memory_order_relaxed))
        p.published += p.plugin->exchange() == nullptr;
    return 0;
}

} // namespace

bool figureMeterLatency(Bench &bench)
{
    const int rounds = bench.quick ? 3 : 9;
    const DWORD phaseMs = bench.quick ? 250 : 400;
    Plugin plugin;
    bench.resetSimulator(false);
    if (!plugin.loaded() || plugin.exchange() != nullptr)
        return bench.fail("meter latency: VORN.dll published no first frame");

    std::vector<double> p999[kKinds], ratio[kKinds], p50[kKinds], rate[kKinds];
    for (int round = 0; round < rounds; ++round) {
        for (int k = 0; k < kKinds; ++k) {
            const int kind = (round + k) % kKinds;
            std::unique_ptr<Phase> phase(new Phase); // left to its threads should one not stop
            phase->plugin = &plugin;
            for (int m = 0; m < kMeterCount; ++m) {
                phase->meters[m] = plugin.get<MeterFn>(kMeters[m].name);
                phase->parameters[m] = parameterText((kMeters[m].first + kMeters[m].last) / 2);
            }
            std::vector<ThreadSpec> threads(kReaders, {readerProc, phase.get()});
            if (kind == kPublishing)
                threads.push_back({publisherProc, phase.get()});
            if (!runThreads(threads, phase->stop, [&] { Sleep(phaseMs); })) {
                phase.release();
                return bench.fail("meter latency: a thread could not start or did not stop");
            }
            for (int r = 1; r < kReaders; ++r)
                phase->histograms[0].merge(phase->histograms[r]);
            p999[kind].push_back(phase->histograms[0].quantileNs(0.999));
            p50[kind].push_back(phase->histograms[0].quantileNs(0.5));
            rate[kind].push_back(phase->published * 1000.0 / phaseMs);
        }
        for (int k = 0; k < kKinds; ++k)
            ratio[k].push_back(p999[k][round] / p999[kIdle][round]);
    }

    bench.section("2. Meter latency while frames are published back to back");
    bench.detail("%d rounds of two %lu-ms phases, rotating; one call = a timed group of %d / %d. Medians over rounds:",
                 rounds, phaseMs, kCallsPerGroup, kCallsPerGroup);
    for (int k = 0; k < kKinds; ++k)
        bench.detail("%-10s p50 %6.1f ns, p99.9 %6.1f ns, p99.9 / idle %5.2f [%.2f..%.2f], %8.0f frames/s",
                     k == kIdle ? "idle" : "publishing", median(p50[k]), median(p999[k]), median(ratio[k]),
                     quantile(ratio[k], 0), quantile(ratio[k], 1), median(rate[k]));
    const double r = median(ratio[kPublishing]);
    bench.row(format("2. Meter latency p99.9, frames published back to back (%d readers)", kReaders),
              format("%.0f ns vs %.0f ns idle (ratio %.2f)", median(p999[kPublishing]), median(p999[kIdle]), r),
              "<= 2x idle", r <= 2.0);
    return true;
}
