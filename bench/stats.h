// Order statistics for the figures: medians of batch results and percentiles
// of latency histograms.
#pragma once

#include <cstdint>
#include <vector>

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

    uint64_t total() const { return total_; }
    // The smallest tick count that at least q of the samples do not exceed.
    uint32_t quantile(double q) const;
    uint32_t maximum() const;
    // Samples of more than `ticks`.
    uint64_t countAbove(uint32_t ticks) const;
    bool saturated() const { return counts_.back() != 0; }

private:
    std::vector<uint64_t> counts_;
    uint64_t total_ = 0;
};
