#include "bench/report.h"

#include <algorithm>
#include <cstdarg>

namespace {

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
    return static_cast<int>(std::count_if(rows_.begin(), rows_.end(), [](const Row &r) {
        return r.verdict == Verdict::Missed;
    }));
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
