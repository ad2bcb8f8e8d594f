// What every measurement of vornbench shares: the options, the simulated
// controller's control interface, the loaded VORN.dll and the report, with
// the clock and the statistics (measure.h).
#pragma once

#include <windows.h>

#include "bench/measure.h"
#include "simControl.h"

struct Bench {
    bool quick = false;          // shorter runs: a smoke test of the benchmark itself
    bool sharingOnly = false;    // only figure 6, device sharing
    HMODULE simulator = nullptr; // FTD2XX.dll, the simulated controller
    SimControl sim;
    HMODULE vorn = nullptr; // VORN.dll, loaded as a host loads it
    Report report;
    // Wall time of one poll cycle run back to back without wire pacing, in
    // microseconds (negative until measured). The cycle never waits then, so
    // this bounds its CPU time: a cross-check for the idle poller's figure.
    double cycleWallUs = -1;
};

// An export of a loaded module cast to its function type, or null.
template <class Fn>
Fn exportOf(HMODULE module, const char *name)
{
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

// The measurements, in the order they run. Each adds its rows and details
// to the report; false means it could not be made at all.
bool scanPluginFile(Bench &bench);
bool measureMeterCost(Bench &bench);
bool measureMeterAllocations(Bench &bench);
bool measureMeterLatency(Bench &bench);
bool measurePollCycleAllocations(Bench &bench);
bool measurePollCycleTime(Bench &bench);
bool measurePollerCpu(Bench &bench);
bool measureDeviceSharing(Bench &bench);
bool measurePollerStack(Bench &bench);
// Unloads nothing itself but needs VORN.dll unloaded: runs after the others.
bool measureReloadAddressSpace(Bench &bench, bool untilFailure);
