#include "simulator/controllerModel.h"

#include <algorithm>
#include <cmath>

namespace vornsim {

// A fresh controller: fan 2 in manual mode at full duty, the others under
// automatic control at 40, 50 and 30 %; maximum speeds between 1995 and 2394
// RPM; sensors spread over 27..42 degrees (with drift 25..45) so that each
// one is recognisable.
const ControllerState kFreshController = {
    {0, 0, 1, 0},                    // manual
    {20, 25, 50, 15},                // duty in 2 % steps
    {200, 190, 228, 210},            // maximum speed in 10.5 RPM steps
    {61, 70, 58, 84, 66, 55, 76, 63, // digital 0..7: 30.5 35 29 42 33 27.5 38 31.5
     54, 60, 68, 74, 57, 80},        // analog 0..5:  27 30 34 37 28.5 40
    {},
};

bool ControllerState::setDutyPercent(int fan, int percent)
{
    if (fan < 0 || fan >= SIM_FANS || percent < 0 || percent > 100)
        return false;
    dutySteps[fan] = static_cast<uint8_t>(percent / 2);
    return true;
}

// Drift: a slow sine around the level, with an amplitude (1.5..3 degrees),
// period (45..214 s) and phase of each sensor's own, so the readings move like
// a machine warming and cooling, stay bounded, and never move in lockstep.
int ControllerState::temperatureAt(int sensor, double seconds, bool frozen, const Scenario &scenario) const
{
    int ramped;
    if (scenario.rampAt(sensor, seconds, ramped))
        return ramped;
    const int level = tempLevel[sensor];
    if (frozen)
        return level;
    const double amplitude = 3.0 + (sensor % 4); // half degrees
    const double period = 45.0 + 13.0 * sensor;  // seconds
    const double twoPi = 6.283185307179586;
    const double wave = amplitude * std::sin(twoPi * seconds / period + 0.9 * sensor);
    return static_cast<int>(std::min(std::max(std::lround(level + wave), -128L), 127L));
}

void ControllerState::encode(double seconds, bool frozen, const Scenario &scenario, uint8_t out[SIM_FRAME_SIZE]) const
{
    for (int k = 0; k < SIM_FRAME_SIZE; ++k)
        out[k] = simFillerByte(k);
    for (int f = 0; f < SIM_FANS; ++f) {
        out[SIM_OFF_MANUAL + f] = static_cast<uint8_t>(manual[f]);
        out[SIM_OFF_DUTY + f] = dutySteps[f];
        out[SIM_OFF_MAXSPEED + 2 * f] = static_cast<uint8_t>(maxSpeed[f] & 0xFF);
        out[SIM_OFF_MAXSPEED + 2 * f + 1] = static_cast<uint8_t>(static_cast<uint16_t>(maxSpeed[f]) >> 8);
    }
    // The digital and analog blocks are adjacent: sensor s sits at 238 + s.
    for (int s = 0; s < SIM_TEMPS; ++s)
        out[SIM_OFF_DIGITAL_TEMP + s] = static_cast<uint8_t>(temperatureAt(s, seconds, frozen, scenario));
}

// The controller reads its input as a byte stream: the status request asks
// for a frame, the set-duty byte of fan 0..3 takes the next byte as that
// fan's duty percent, anything else is ignored. A duty command missing its percent byte at the end of the
// write is dropped: each exchange is a separate open/close, so nothing would
// ever complete it.
ControllerState::Input ControllerState::accept(const uint8_t *bytes, size_t n)
{
    Input in;
    for (size_t i = 0; i < n; ++i) {
        const uint8_t b = bytes[i];
        if (b == SIM_REQUEST_STATUS) {
            ++in.statusRequests;
        } else if (b >= SIM_CMD_SET_DUTY && b < SIM_CMD_SET_DUTY + SIM_FANS) {
            if (i + 1 >= n) {
                in.flags |= SIM_LOG_BAD_DUTY;
                break;
            }
            if (!setDutyPercent(b - SIM_CMD_SET_DUTY, bytes[++i]))
                in.flags |= SIM_LOG_BAD_DUTY;
        } else {
            ++in.unknownBytes;
            in.flags |= SIM_LOG_UNKNOWN_COMMAND;
        }
    }
    return in;
}

} // namespace vornsim
