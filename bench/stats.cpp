#include "bench/stats.h"

#include <algorithm>
#include <cmath>

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

double quantile(std::vector<double> values, double q)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    size_t rank = static_cast<size_t>(std::ceil(q * static_cast<double>(values.size())));
    rank = std::min(std::max<size_t>(rank, 1), values.size());
    return values[rank - 1];
}

void TickHistogram::clear()
{
    std::fill(counts_.begin(), counts_.end(), 0);
    total_ = 0;
}

void TickHistogram::merge(const TickHistogram &other)
{
    for (size_t i = 0; i < counts_.size() && i < other.counts_.size(); ++i)
        counts_[i] += other.counts_[i];
    total_ += other.total_;
}

uint32_t TickHistogram::quantile(double q) const
{
    if (total_ == 0)
        return 0;
    uint64_t rank = static_cast<uint64_t>(std::ceil(q * static_cast<double>(total_)));
    rank = std::min(std::max<uint64_t>(rank, 1), total_);
    uint64_t seen = 0;
    for (size_t i = 0; i < counts_.size(); ++i) {
        seen += counts_[i];
        if (seen >= rank)
            return static_cast<uint32_t>(i);
    }
    return static_cast<uint32_t>(counts_.size() - 1);
}

uint32_t TickHistogram::maximum() const
{
    for (size_t i = counts_.size(); i-- > 0;) {
        if (counts_[i] != 0)
            return static_cast<uint32_t>(i);
    }
    return 0;
}

uint64_t TickHistogram::countAbove(uint32_t ticks) const
{
    uint64_t n = 0;
    for (size_t i = static_cast<size_t>(ticks) + 1; i < counts_.size(); ++i)
        n += counts_[i];
    return n;
}
