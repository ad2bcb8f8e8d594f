// Figure 3: the DLL's status exchange (a poll cycle's device work) at the
// wire rate, beside the same seven bridge calls made bare, interleaved:
// cycle - wire time, and cycle - bare exchange (our part alone).
#include "bench/bench.h"

namespace {

bool bareExchange()
{
    FT_HANDLE handle = nullptr;
    if (FT_Open(0, &handle) != FT_OK)
        return false;
    uint8_t request = SIM_REQUEST_STATUS, frame[SIM_FRAME_SIZE];
    DWORD written = 0, received = 0;
    const bool ok = FT_SetBaudRate(handle, kBaudRate) == FT_OK && FT_SetDataCharacteristics(handle, 8, 0, 0) == FT_OK &&
                    FT_SetTimeouts(handle, 3000, 0) == FT_OK && FT_Write(handle, &request, 1, &written) == FT_OK &&
                    FT_Read(handle, frame, SIM_FRAME_SIZE, &received) == FT_OK && received == SIM_FRAME_SIZE;
    FT_Close(handle);
    return ok;
}

} // namespace

bool figurePollCycle(Bench &bench)
{
    const int pairs = bench.quick ? 4 : 12;
    Plugin plugin;
    if (!plugin.loaded())
        return bench.fail("poll cycle: cannot load VORN.dll");
    bench.resetSimulator(true);
    std::vector<double> cycleMs, bareMs, differenceMs;
    int failures = 0;
    for (int i = 0; i < pairs; ++i) {
        double ms[2];
        for (int side : {i % 2, 1 - i % 2}) {
            const int64_t start = qpcNow();
            failures += side == 0 ? plugin.exchange() != nullptr : !bareExchange();
            ms[side] = msSince(start);
        }
        cycleMs.push_back(ms[0]);
        bareMs.push_back(ms[1]);
        differenceMs.push_back(ms[0] - ms[1]);
    }

    const double cycle = median(cycleMs), beyond = cycle - kWireMs;
    bench.section("3. Poll cycle at the wire rate");
    bench.detail(
        "%d cycles and %d bare exchanges, interleaved, %d failed. Cycle [%.2f..%.2f] ms; bare exchange %.2f ms "
        "[%.2f..%.2f]; ours alone = median of cycle - bare exchange in pairs.",
        pairs, pairs, failures, quantile(cycleMs, 0), quantile(cycleMs, 1), median(bareMs), quantile(bareMs, 0),
        quantile(bareMs, 1));
    bench.row("3. Poll cycle at 19200 baud: time beyond the wire",
              format("%.2f ms (cycle %.2f ms, wire %.2f ms; ours alone %.2f ms)", beyond, cycle, kWireMs,
                     median(differenceMs)),
              "< 5 ms", beyond < 5.0 && failures == 0);
    return true;
}
