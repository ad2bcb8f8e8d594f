// What every measurement of vornbench measures and reports with: the one
// clock, the order statistics that reduce its readings to figures, and the
// report that prints each figure beside its target.
#pragma once

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// The clock: QueryPerformanceCounter, read as raw ticks and turned into
// time units only for printing. Inline, so that a timed loop pays no call.

inline int64_t qpcNow()
{
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return t.QuadPart;
}

inline int64_t qpcFrequency()
{
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f.QuadPart;
}

inline double ticksToNs(double ticks)
{
    return ticks * 1e9 / static_cast<double>(qpcFrequency());
}

inline double ticksToMs(double ticks)
{
    return ticks * 1e3 / static_cast<double>(qpcFrequency());
}

// Milliseconds from a qpcNow() reading until now.
inline double msSince(int64_t start)
{
    return ticksToMs(static_cast<double>(qpcNow() - start));
}

// Order statistics: medians of batch results and percentiles of latency
// histograms, both by the nearest-rank rule.

// The median (mean of the middle two for an even count); 0 for none.
double median(std::vector<double> values);

// The q-quantile (0..1) by the nearest-rank rule; 0 for none.
double quantile(std::vector<double> values, double q);

// Counts of small integer samples (clock ticks): exact quantiles without
// keeping every sample. Samples at or above the last bucket land in it.
class TickHistogram {
public:
    explicit TickHistogram(uint32_t buckets = 65536) : counts_(buckets, 0) {}

    void add(int64_t ticks)
    {
        const uint64_t last = counts_.size() - 1;
        const uint64_t at = ticks < 0 ? 0 : static_cast<uint64_t>(ticks);
        ++counts_[at < last ? at : last];
        ++total_;
    }
    void clear();
    void merge(const TickHistogram &other);

    // The smallest tick count that at least q of the samples do not exceed.
    uint32_t quantile(double q) const;
    // Samples of more than `ticks`.
    uint64_t countAbove(uint32_t ticks) const;

private:
    std::vector<uint64_t> counts_;
    uint64_t total_ = 0;
};

// The report: one table row per figure (value, target, whether it is met),
// followed by the details and method notes each measurement left.

enum class Verdict {
    Met,
    Missed,
    Info
};

// printf into a std::string.
std::string format(const char *fmt, ...) __attribute__((format(gnu_printf, 1, 2)));

class Report {
public:
    void row(const std::string &figure, const std::string &value, const std::string &target, Verdict verdict);
    // Starts a block of detail lines under a heading.
    void section(const std::string &title);
    void detail(const char *fmt, ...) __attribute__((format(gnu_printf, 2, 3)));
    // A measurement that could not be made at all.
    void failure(const std::string &what);

    bool failed() const { return !failures_.empty(); }
    int missedCount() const;
    void print(FILE *out, const std::string &header) const;

private:
    struct Row {
        std::string figure, value, target;
        Verdict verdict;
    };
    std::vector<Row> rows_;
    std::vector<std::string> details_;
    std::vector<std::string> failures_;
};
