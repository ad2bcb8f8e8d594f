// The fan controller behind one device number: its fan and sensor state, the
// way it encodes that state into the 285-byte status frame, and the way it
// interprets the bytes written to it. No Windows and no locking in here: the
// bridge layer (bridgeOperations.cpp) owns the locks and calls this with them held.
#pragma once

#include <cstddef>
#include <cstdint>

#include "simControl.h"

namespace vornsim {

// What the controller itself remembers: the state a status frame reports and
// a duty command changes. Plain data with a fixed layout, so that it can live
// in memory shared between processes (see sharedState.h).
struct ControllerState {
    int8_t manual[SIM_FANS];
    uint8_t dutySteps[SIM_FANS]; // percent / 2
    int16_t maxSpeed[SIM_FANS];  // 10.5 RPM steps
    int8_t tempLevel[SIM_TEMPS]; // half degrees; drift wanders around it
    uint8_t reserved[2];
};
static_assert(sizeof(ControllerState) == 32, "ControllerState is shared between processes");

// The state of a fresh controller.
void setDefaultState(ControllerState &state);

class ControllerModel {
public:
    // The model starts on a state of its own, at the defaults; useState()
    // moves it onto storage kept elsewhere.
    ControllerModel()
    {
        setDefaultState(own_);
        clearOverrides();
    }
    ControllerModel(const ControllerModel &) = delete;
    ControllerModel &operator=(const ControllerModel &) = delete;

    // Keep the state in `state` from now on (not copied; must outlive the model).
    void useState(ControllerState *state) { state_ = state; }

    // Encode the state as seen at `seconds` (the drift clock); with
    // `frozen`, temperatures are reported exactly at their levels.
    void encode(double seconds, bool frozen, uint8_t out[SIM_FRAME_SIZE]) const;
    // Reply number k of the frame-generator mode (see simGeneratorByte).
    void encodeGenerated(int k, uint8_t out[SIM_FRAME_SIZE]) const;

    // Outcome of bytes written to the controller.
    struct Input {
        int statusRequests = 0; // each one is answered by a frame
        int unknownBytes = 0;   // bytes that are no command (ignored)
        int flags = 0;          // SIM_LOG_UNKNOWN_COMMAND, SIM_LOG_BAD_DUTY
    };
    // Apply written bytes: duty commands take effect at once; status requests
    // are counted for the caller to answer, in order.
    Input accept(const uint8_t *bytes, size_t n);

    // Setters behind the sim* control functions; false on out-of-range input.
    bool setDutyPercent(int fan, int percent);
    bool setMaxSpeed(int fan, int word);
    bool setManual(int fan, int flag);
    bool setTemperature(int sensor, int halfDegrees);
    bool setOverride(int offset, int value); // value -1 removes
    void clearOverrides();

    // The reported value of a sensor at `seconds` (half degrees).
    int temperatureAt(int sensor, double seconds, bool frozen) const;

private:
    void applyOverrides(uint8_t out[SIM_FRAME_SIZE]) const;

    ControllerState own_;
    ControllerState *state_ = &own_;
    // Pinned frame bytes are test machinery of one process, never shared.
    int16_t override_[SIM_FRAME_SIZE]; // -1: none
};

} // namespace vornsim
