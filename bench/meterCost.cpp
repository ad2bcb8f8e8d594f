// Figure 1: what one meter call costs in the real VORN.dll, beside what a
// bare snprintf of the same value into the same buffer costs.
//
// The frame comes from the simulated controller through the DLL's own
// openConnection / readFromVorn, so the meters format a realistic frame
// (default fans and temperatures). Each batch times 10,000 calls of one side;
// the three sides (meter, the toolchain's snprintf, the system C library's
// _snprintf) run one after another in every batch, in rotating order, and
// the figure is the median over many batches of meter / faster snprintf.
#include <cstdio>
#include <cstring>
#include <vector>

#include "bench/bench.h"
#include "bench/meters.h"
#include "bridge/d2xx.h"
#include "core/statusFrame.h"
#include "plugin/exports.h"

namespace {

constexpr int kCallsPerBatch = 10000;
constexpr int kTextSize = 12;

typedef int(__cdecl *SnprintfFn)(char *, size_t, const char *, ...);

struct MeterInput {
    MeterFn fn = nullptr;
    std::vector<const char *> parameters;
    std::vector<int32_t> values; // the value behind each parameter
    bool halfDegrees = false;
};

__attribute__((noinline)) int64_t timeMeter(const MeterInput &in, char *out)
{
    const int n = static_cast<int>(in.parameters.size());
    const char *const *parameters = in.parameters.data();
    const MeterFn fn = in.fn;
    int j = 0;
    const int64_t start = qpcNow();
    for (int i = 0; i < kCallsPerBatch; ++i) {
        fn(out, parameters[j]);
        if (++j == n)
            j = 0;
    }
    return qpcNow() - start;
}

// The bare formatting of the same values, by the toolchain's snprintf
// (below) or by the system C library's (msvcrt.dll) _snprintf.
template <class Snprintf>
__attribute__((noinline)) int64_t timeBare(Snprintf print, const MeterInput &in, char *out)
{
    const int n = static_cast<int>(in.values.size());
    const int32_t *values = in.values.data();
    int j = 0;
    const int64_t start = qpcNow();
    if (in.halfDegrees) {
        for (int i = 0; i < kCallsPerBatch; ++i) {
            print(out, kTextSize, "%4.1f", values[j] * 0.5);
            if (++j == n)
                j = 0;
        }
    } else {
        for (int i = 0; i < kCallsPerBatch; ++i) {
            print(out, kTextSize, "%d", static_cast<int>(values[j]));
            if (++j == n)
                j = 0;
        }
    }
    return qpcNow() - start;
}

// The toolchain's snprintf (mingw-w64's C99 printf), called directly, as
// plug-in code calling snprintf gets it.
const auto toolchainSnprintf = [](char *text, size_t size, const char *fmt, auto value) {
    return std::snprintf(text, size, fmt, value);
};

double perCallNs(int64_t ticks)
{
    return ticksToNs(static_cast<double>(ticks)) / kCallsPerBatch;
}

} // namespace

bool measureMeterCost(Bench &bench)
{
    Report &report = bench.report;
    using CloseFn = decltype(&FT_Close);
    const OpenConnectionFn openConnection = exportOf<OpenConnectionFn>(bench.vorn, "openConnection");
    const ReadFromVornFn readFromVorn = exportOf<ReadFromVornFn>(bench.vorn, "readFromVorn");
    // FT_Close is ordinal 2 of the bridge library.
    const CloseFn ftClose = exportOf<CloseFn>(bench.simulator, MAKEINTRESOURCEA(2));
    const SnprintfFn systemSnprintf = exportOf<SnprintfFn>(GetModuleHandleA("msvcrt.dll"), "_snprintf");
    if (!openConnection || !readFromVorn || !ftClose || !systemSnprintf) {
        report.failure("meter cost: openConnection, readFromVorn, FT_Close or msvcrt _snprintf not found");
        return false;
    }

    // One frame from the simulated controller, published by the DLL itself.
    bench.sim.reset();
    bench.sim.freezeDrift(1);
    uint8_t frame[kStatusFrameSize];
    FT_HANDLE handle = nullptr;
    const char *error = openConnection(0, &handle);
    if (error == nullptr) {
        error = readFromVorn(handle, frame);
        ftClose(handle);
    }
    if (error != nullptr) {
        report.failure(format("meter cost: publishing a frame failed: %s", error));
        return false;
    }
    int32_t maxRpm[kFanCount];
    deriveMaxRpm(frame, maxRpm);

    MeterInput inputs[kMeterCount];
    int mismatches = 0;
    std::string firstMismatch;
    for (int m = 0; m < kMeterCount; ++m) {
        const BenchMeter &entry = kMeters[m];
        MeterInput &in = inputs[m];
        in.fn = exportOf<MeterFn>(bench.vorn, entry.name);
        if (in.fn == nullptr) {
            report.failure(format("meter cost: VORN.dll does not export %s", entry.name));
            return false;
        }
        in.halfDegrees = entry.halfDegrees;
        for (int index = entry.first; index <= entry.last; ++index) {
            in.parameters.push_back(parameterText(index));
            in.values.push_back(entry.value(frame, maxRpm, index));
            // The meter must show exactly what snprintf makes of the value;
            // otherwise the two sides would not do the same work.
            char shown[32] = {}, expected[32] = {};
            const char *result = in.fn(shown, parameterText(index));
            referenceText(entry, in.values.back(), expected, kTextSize);
            if (result != shown || std::strcmp(shown, expected) != 0) {
                if (mismatches++ == 0)
                    firstMismatch =
                        format("%s(\"%d\") gave \"%s\", snprintf \"%s\"", entry.name, index, result, expected);
            }
        }
    }

    const int batches = bench.quick ? 11 : 51;
    std::vector<double> meterNs[kMeterCount], toolchainNs[kMeterCount], systemNs[kMeterCount], ratio[kMeterCount];
    char out[kTextSize + 4];
    for (int m = 0; m < kMeterCount; ++m) { // warm-up, not counted
        timeMeter(inputs[m], out);
        timeBare(toolchainSnprintf, inputs[m], out);
        timeBare(systemSnprintf, inputs[m], out);
    }
    for (int batch = 0; batch < batches; ++batch) {
        for (int m = 0; m < kMeterCount; ++m) {
            double ns[3];
            for (int k = 0; k < 3; ++k) {
                const int side = (batch + m + k) % 3;
                if (side == 0)
                    ns[0] = perCallNs(timeMeter(inputs[m], out));
                else if (side == 1)
                    ns[1] = perCallNs(timeBare(toolchainSnprintf, inputs[m], out));
                else
                    ns[2] = perCallNs(timeBare(systemSnprintf, inputs[m], out));
            }
            meterNs[m].push_back(ns[0]);
            toolchainNs[m].push_back(ns[1]);
            systemNs[m].push_back(ns[2]);
            ratio[m].push_back(ns[0] / (ns[1] < ns[2] ? ns[1] : ns[2]));
        }
    }

    report.section("1. Meter cost per call (VORN.dll exports) beside a bare snprintf");
    report.detail(
        "%d batches of %d calls per side; the index cycles through each meter's range; sides rotate "
        "within a batch.",
        batches, kCallsPerBatch);
    report.detail(
        "snprintf = the toolchain's (mingw-w64 C99 printf, what plug-in code calling snprintf gets); "
        "_snprintf = msvcrt.dll's (here: Wine's).");
    report.detail("ratio = meter / the faster of the two, per batch; median over batches.");
    report.detail("%-17s %20s %12s %12s %8s %16s", "meter", "ns/call [p25..p75]", "snprintf", "_snprintf", "ratio",
                  "ratio [p10..p90]");
    for (int m = 0; m < kMeterCount; ++m) {
        const double meterMedian = median(meterNs[m]);
        const double toolchainMedian = median(toolchainNs[m]);
        const double systemMedian = median(systemNs[m]);
        const double ratioMedian = median(ratio[m]);
        report.detail("%-17s %7.1f [%5.1f..%5.1f] %12.1f %12.1f %8.3f   [%5.3f..%5.3f]", kMeters[m].name, meterMedian,
                      quantile(meterNs[m], 0.25), quantile(meterNs[m], 0.75), toolchainMedian, systemMedian,
                      ratioMedian, quantile(ratio[m], 0.10), quantile(ratio[m], 0.90));
        const double bare = toolchainMedian < systemMedian ? toolchainMedian : systemMedian;
        report.row(format("1. %s cost per call", kMeters[m].name),
                   format("%.1f ns vs %.1f ns bare %s (ratio %.3f)", meterMedian, bare,
                          kMeters[m].halfDegrees ? "\"%4.1f\"" : "\"%d\"", ratioMedian),
                   "<= bare snprintf", ratioMedian <= 1.0 ? Verdict::Met : Verdict::Missed);
    }
    if (mismatches != 0)
        report.detail("WARNING: %d meter texts differ from snprintf's, first: %s", mismatches, firstMismatch.c_str());
    else
        report.detail(
            "Every meter's text for every parameter equals snprintf's for the same value (checked "
            "before timing).");
    return true;
}
