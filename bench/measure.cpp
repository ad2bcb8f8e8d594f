#include "bench/measure.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>

namespace {

// The nearest rank (1..n) of the q-quantile of n samples; n must not be 0.
uint64_t nearestRank(double q, uint64_t n)
{
    const uint64_t rank = static_cast<uint64_t>(std::ceil(q * static_cast<double>(n)));
    return std::min(std::max<uint64_t>(rank, 1), n);
}

std::string vformat(const char *fmt, va_list args)
{
    char buffer[1024];
    const int n = std::vsnprintf(buffer, sizeof buffer, fmt, args);
    if (n < 0)
        return std::string();
    return std::string(buffer, std::min<size_t>(static_cast<size_t>(n), sizeof buffer - 1));
}

const char *verdictText(Verdict v)
{
    switch (v) {
    case Verdict::Met:
        return "yes";
    case Verdict::Missed:
        return "NO";
    default:
        return "-";
    }
}

} // namespace

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
    return values[nearestRank(q, values.size()) - 1];
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
    const uint64_t rank = nearestRank(q, total_);
    uint64_t seen = 0;
    for (size_t i = 0; i < counts_.size(); ++i) {
        seen += counts_[i];
        if (seen >= rank)
            return static_cast<uint32_t>(i);
    }
    return static_cast<uint32_t>(counts_.size() - 1);
}

uint64_t TickHistogram::countAbove(uint32_t ticks) const
{
    uint64_t n = 0;
    for (size_t i = static_cast<size_t>(ticks) + 1; i < counts_.size(); ++i)
        n += counts_[i];
    return n;
}

std::string format(const char *fmt, ...)
{
    va_list args;
    va_start(args, fmt);
    std::string text = vformat(fmt, args);
    va_end(args);
    return text;
}

void Report::row(const std::string &figure, const std::string &value, const std::string &target, Verdict verdict)
{
    rows_.push_back({figure, value, target, verdict});
}

void Report::section(const std::string &title)
{
    details_.push_back("");
    details_.push_back(title);
    details_.push_back(std::string(title.size(), '-'));
}

void Report::detail(const char *fmt, ...)
{
    va_list args;
    va_start(args, fmt);
    details_.push_back(vformat(fmt, args));
    va_end(args);
}

void Report::failure(const std::string &what)
{
    failures_.push_back(what);
}

int Report::missedCount() const
{
    return static_cast<int>(
        std::count_if(rows_.begin(), rows_.end(), [](const Row &r) { return r.verdict == Verdict::Missed; }));
}

void Report::print(FILE *out, const std::string &header) const
{
    std::fputs(header.c_str(), out);
    size_t wFigure = 6, wValue = 5, wTarget = 6;
    for (const Row &r : rows_) {
        wFigure = std::max(wFigure, r.figure.size());
        wValue = std::max(wValue, r.value.size());
        wTarget = std::max(wTarget, r.target.size());
    }
    const int f = static_cast<int>(wFigure), v = static_cast<int>(wValue), t = static_cast<int>(wTarget);
    std::fprintf(out, "\n%-*s | %-*s | %-*s | met\n", f, "figure", v, "value", t, "target");
    std::fprintf(out, "%s-+-%s-+-%s-+----\n", std::string(wFigure, '-').c_str(), std::string(wValue, '-').c_str(),
                 std::string(wTarget, '-').c_str());
    for (const Row &r : rows_)
        std::fprintf(out, "%-*s | %-*s | %-*s | %s\n", f, r.figure.c_str(), v, r.value.c_str(), t, r.target.c_str(),
                     verdictText(r.verdict));
    const int missed = missedCount();
    std::fprintf(out, "\n%d figure(s) with a target, %d missed.\n",
                 static_cast<int>(std::count_if(rows_.begin(), rows_.end(),
                                                [](const Row &r) { return r.verdict != Verdict::Info; })),
                 missed);
    for (const std::string &f : failures_)
        std::fprintf(out, "COULD NOT MEASURE: %s\n", f.c_str());
    for (const std::string &line : details_)
        std::fprintf(out, "%s\n", line.c_str());
}
