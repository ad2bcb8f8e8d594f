// What VORNSIM_RAMP and VORNSIM_SILENT_AFTER script for the demo and the
// tests (README). Plain data: in shared mode it lives in the shared section,
// written by the process that created it, so every process runs the same
// script on the same clock.
#pragma once

#include <cstdint>
#include <string>

#include "simulator/simControl.h"

namespace vornsim {

struct Ramp {
    int32_t active;
    float from, to; // degrees Celsius
    float seconds;
};

struct Scenario {
    Ramp ramps[SIM_TEMPS] = {}; // by sensor: digital 0..7, then analog 0..5
    float silentAfter = -1;     // seconds; negative: never

    // From the two variables' values (empty: not set) into a fresh scenario. A
    // malformed value is ignored as a whole, with one line on stderr.
    void read(const std::string &ramps, const std::string &silentAfter);

    // The reading a ramp gives `sensor` at `seconds` since the state was
    // created, in half degrees; false when no ramp drives that sensor.
    bool rampAt(int sensor, double seconds, int &halfDegrees) const;
    bool silentAt(double seconds) const { return silentAfter >= 0 && seconds >= silentAfter; }
};

} // namespace vornsim
