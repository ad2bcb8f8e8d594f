// Figure 1: one call of each meter of VORN.dll beside a bare snprintf of the
// same value into the same buffer: the toolchain's (mingw-w64's C99 printf)
// and msvcrt.dll's _snprintf, in rotating order, batch by batch; the figure
// is the median over batches of meter / the faster snprintf.
#include <cmath>
#include <cstdlib>

#include "bench/bench.h"

namespace {

constexpr int kCalls = 10000, kTextSize = 12;
typedef int(__cdecl *SnprintfFn)(char *, size_t, const char *, ...);

struct Sides {
    MeterFn meter;
    bool halfDegrees;
    std::vector<const char *> parameters;
    std::vector<int> values; // what the meter shows for each parameter
};

// Nanoseconds per call of call(j), j cycling through 0..n-1.
template <class Call>
__attribute__((noinline)) double nsPerCall(int n, Call call)
{
    const int64_t start = qpcNow();
    for (int i = 0, j = 0; i < kCalls; ++i, j = j + 1 == n ? 0 : j + 1)
        call(j);
    return ticksToMs(static_cast<double>(qpcNow() - start)) * 1e6 / kCalls;
}

// What the meter shows for the value, made by print (an snprintf).
template <class Print>
void printValue(Print print, char *out, bool halfDegrees, int value)
{
    if (halfDegrees)
        print(out, kTextSize, "%4.1f", value * 0.5);
    else
        print(out, kTextSize, "%d", value);
}

double timeSide(const Sides &s, int side, SnprintfFn system, char *out)
{
    const auto toolchain = [](char *o, size_t n, const char *f, auto v) { std::snprintf(o, n, f, v); };
    const int *v = s.values.data();
    const int n = static_cast<int>(s.values.size());
    if (side == 0)
        return nsPerCall(n, [&](int j) { s.meter(out, s.parameters[j]); });
    if (side == 1)
        return nsPerCall(n, [&](int j) { printValue(toolchain, out, s.halfDegrees, v[j]); });
    return nsPerCall(n, [&](int j) { printValue(system, out, s.halfDegrees, v[j]); });
}

} // namespace

bool figureMeterCost(Bench &bench)
{
    Plugin plugin;
    const auto system = exportOf<SnprintfFn>(GetModuleHandleA("msvcrt.dll"), "_snprintf");
    bench.resetSimulator(false);
    const char *error = plugin.loaded() ? plugin.exchange() : "VORN.dll not loaded";
    if (error != nullptr || system == nullptr)
        return bench.fail(format("meter cost: no frame (%s) or no msvcrt _snprintf", error ? error : "ok"));

    // The value behind each parameter, read back from the meter's text; the
    // meter must show exactly what snprintf makes of it, so that both sides
    // do the same work.
    Sides sides[kMeterCount];
    int mismatches = 0;
    for (int m = 0; m < kMeterCount; ++m) {
        const MeterRange &range = kMeters[m];
        sides[m] = {plugin.get<MeterFn>(range.name), range.halfDegrees, {}, {}};
        if (sides[m].meter == nullptr)
            return bench.fail(format("meter cost: VORN.dll does not export %s", range.name));
        for (int index = range.first; index <= range.last; ++index) {
            char shown[32] = {}, expected[32] = {};
            sides[m].meter(shown, parameterText(index));
            const int value =
                range.halfDegrees ? static_cast<int>(std::lround(std::strtod(shown, nullptr) * 2)) : std::atoi(shown);
            printValue(std::snprintf, expected, range.halfDegrees, value);
            mismatches += std::strcmp(shown, expected) != 0;
            sides[m].parameters.push_back(parameterText(index));
            sides[m].values.push_back(value);
        }
    }

    const int batches = bench.quick ? 11 : 51;
    std::vector<double> ns[kMeterCount][3], ratio[kMeterCount];
    char out[kTextSize + 4];
    for (int batch = -1; batch < batches; ++batch) { // batch -1 warms up
        for (int m = 0; m < kMeterCount; ++m) {
            double t[3];
            for (int side : {(batch + 1 + m) % 3, (batch + 2 + m) % 3, (batch + 3 + m) % 3})
                t[side] = timeSide(sides[m], side, system, out);
            if (batch < 0)
                continue;
            for (int side = 0; side < 3; ++side)
                ns[m][side].push_back(t[side]);
            ratio[m].push_back(t[0] / std::min(t[1], t[2]));
        }
    }

    bench.section("1. Meter cost per call (VORN.dll's exports) beside a bare snprintf");
    bench.detail(
        "%d batches of %d calls per side, sides rotating; the index cycles through each meter's range. "
        "snprintf: the toolchain's; _snprintf: msvcrt.dll's. %d meter texts differ from snprintf's.",
        batches, kCalls, mismatches);
    bench.detail("%-17s %20s %9s %10s %7s %16s", "meter", "ns/call [p25..p75]", "snprintf", "_snprintf", "ratio",
                 "ratio [p10..p90]");
    for (int m = 0; m < kMeterCount; ++m) {
        const double meter = median(ns[m][0]), bare = std::min(median(ns[m][1]), median(ns[m][2]));
        const double r = median(ratio[m]);
        bench.detail("%-17s %7.1f [%5.1f..%5.1f] %9.1f %10.1f %7.3f   [%5.3f..%5.3f]", kMeters[m].name, meter,
                     quantile(ns[m][0], 0.25), quantile(ns[m][0], 0.75), median(ns[m][1]), median(ns[m][2]), r,
                     quantile(ratio[m], 0.1), quantile(ratio[m], 0.9));
        bench.row(format("1. %s cost per call", kMeters[m].name),
                  format("%.1f ns vs %.1f ns bare %s (ratio %.3f)", meter, bare,
                         kMeters[m].halfDegrees ? "\"%4.1f\"" : "\"%d\"", r),
                  "<= bare snprintf", r <= 1.0 && mismatches == 0);
    }
    return true;
}
