// The fan controller behind one bus position: the state it remembers, its
// status frame and the bytes it takes (the wire: docs/protocol.md). Plain data
// with a fixed layout, to be shared between processes (sharedState.h); the
// callers hold the locks.
#pragma once

#include <cstddef>
#include <cstdint>

#include "simulator/scenario.h"
#include "simulator/simControl.h"

namespace vornsim {

struct ControllerState {
    int8_t manual[SIM_FANS];
    uint8_t dutySteps[SIM_FANS]; // percent / 2
    int16_t maxSpeed[SIM_FANS];  // 10.5 RPM steps
    int8_t tempLevel[SIM_TEMPS]; // half degrees; drift wanders around it
    uint8_t reserved[2];

    bool setDutyPercent(int fan, int percent); // false when out of range

    // A sensor's reading at `seconds` since the state was created, in half
    // degrees: its ramp's, if the scenario ramps it, else its level, with
    // drift unless `frozen`.
    int temperatureAt(int sensor, double seconds, bool frozen, const Scenario &scenario) const;
    void encode(double seconds, bool frozen, const Scenario &scenario, uint8_t out[SIM_FRAME_SIZE]) const;

    // Outcome of bytes written to the controller.
    struct Input {
        int statusRequests = 0; // each one is answered by a frame
        int unknownBytes = 0;   // bytes that are no command (ignored)
        int flags = 0;          // SIM_LOG_UNKNOWN_COMMAND, SIM_LOG_BAD_DUTY
    };
    // Duty commands take effect at once; status requests are counted for the
    // caller to answer, in order.
    Input accept(const uint8_t *bytes, size_t n);
};
static_assert(sizeof(ControllerState) == 32, "ControllerState is shared between processes");

extern const ControllerState kFreshController; // a controller's defaults (README)

// field[index] = value when index < count and lo <= value <= hi.
template <class T>
bool setInRange(T *field, int index, int count, int value, int lo, int hi)
{
    if (index < 0 || index >= count || value < lo || value > hi)
        return false;
    field[index] = static_cast<T>(value);
    return true;
}

} // namespace vornsim
