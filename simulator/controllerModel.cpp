#include "controllerModel.h"

#include <cmath>
#include <cstring>

namespace vornsim {

namespace {

// A fresh controller: fan 2 in manual mode at full duty, the others under
// automatic control; maximum speeds between 1995 and 2394 RPM; sensors spread
// over 27..42 degrees (with drift 25..45) so that each one is recognisable.
constexpr int8_t kManual[SIM_FANS] = {0, 0, 1, 0};
constexpr int kDutyPercent[SIM_FANS] = {40, 50, 100, 30};
constexpr int16_t kMaxSpeed[SIM_FANS] = {200, 190, 228, 210}; // x 10.5 RPM
constexpr int8_t kTempLevel[SIM_TEMPS] = {
    61, 70, 58, 84, 66, 55, 76, 63, // digital 0..7: 30.5 35 29 42 33 27.5 38 31.5
    54, 60, 68, 74, 57, 80,         // analog 0..5:  27 30 34 37 28.5 40
};

constexpr double kPi = 3.14159265358979323846;

int8_t clampToByte(long v)
{
    if (v < -128)
        return -128;
    if (v > 127)
        return 127;
    return static_cast<int8_t>(v);
}

} // namespace

void setDefaultState(ControllerState &state)
{
    state = ControllerState{};
    for (int f = 0; f < SIM_FANS; ++f) {
        state.manual[f] = kManual[f];
        state.dutySteps[f] = static_cast<uint8_t>(kDutyPercent[f] / 2);
        state.maxSpeed[f] = kMaxSpeed[f];
    }
    std::memcpy(state.tempLevel, kTempLevel, sizeof state.tempLevel);
}

// Temperatures follow a slow sine around their level: each sensor has its own
// amplitude (1.5..3 degrees), period (45..214 s) and phase, so the readings
// move like a machine warming and cooling, stay bounded, and never move in
// lockstep.
int ControllerModel::temperatureAt(int sensor, double seconds, bool frozen) const
{
    const int level = state_->tempLevel[sensor];
    if (frozen)
        return level;
    const double amplitude = 3.0 + (sensor % 4); // half degrees
    const double period = 45.0 + 13.0 * sensor;  // seconds
    const double phase = 0.9 * sensor;
    const double wave = amplitude * std::sin(2.0 * kPi * seconds / period + phase);
    return clampToByte(std::lround(level + wave));
}

void ControllerModel::encode(double seconds, bool frozen, uint8_t out[SIM_FRAME_SIZE]) const
{
    for (int k = 0; k < SIM_FRAME_SIZE; ++k)
        out[k] = simFillerByte(k);
    for (int f = 0; f < SIM_FANS; ++f) {
        out[SIM_OFF_MANUAL + f] = static_cast<uint8_t>(state_->manual[f]);
        out[SIM_OFF_DUTY + f] = state_->dutySteps[f];
        const uint16_t word = static_cast<uint16_t>(state_->maxSpeed[f]);
        out[SIM_OFF_MAXSPEED + 2 * f] = static_cast<uint8_t>(word & 0xFF);
        out[SIM_OFF_MAXSPEED + 2 * f + 1] = static_cast<uint8_t>(word >> 8);
    }
    for (int s = 0; s < SIM_TEMPS; ++s) {
        // Digital and analog sensor blocks are adjacent: sensor s sits at 238 + s.
        out[SIM_OFF_DIGITAL_TEMP + s] = static_cast<uint8_t>(temperatureAt(s, seconds, frozen));
    }
    applyOverrides(out);
}

void ControllerModel::encodeGenerated(int k, uint8_t out[SIM_FRAME_SIZE]) const
{
    std::memset(out, simGeneratorByte(k), SIM_FRAME_SIZE);
    applyOverrides(out);
}

void ControllerModel::applyOverrides(uint8_t out[SIM_FRAME_SIZE]) const
{
    for (int k = 0; k < SIM_FRAME_SIZE; ++k) {
        if (override_[k] >= 0)
            out[k] = static_cast<uint8_t>(override_[k]);
    }
}

// The controller reads its input as a byte stream: 0x36 asks for a frame,
// 0x11..0x14 takes the next byte as the duty percent of fan 0..3, anything
// else is ignored. A duty command missing its percent byte at the end of the
// write is dropped: each exchange is a separate open/close, so nothing would
// ever complete it.
ControllerModel::Input ControllerModel::accept(const uint8_t *bytes, size_t n)
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
            const int percent = bytes[++i];
            if (!setDutyPercent(b - SIM_CMD_SET_DUTY, percent))
                in.flags |= SIM_LOG_BAD_DUTY;
        } else {
            ++in.unknownBytes;
            in.flags |= SIM_LOG_UNKNOWN_COMMAND;
        }
    }
    return in;
}

bool ControllerModel::setDutyPercent(int fan, int percent)
{
    if (fan < 0 || fan >= SIM_FANS || percent < 0 || percent > 100)
        return false;
    state_->dutySteps[fan] = static_cast<uint8_t>(percent / 2);
    return true;
}

bool ControllerModel::setMaxSpeed(int fan, int word)
{
    if (fan < 0 || fan >= SIM_FANS || word < -32768 || word > 32767)
        return false;
    state_->maxSpeed[fan] = static_cast<int16_t>(word);
    return true;
}

bool ControllerModel::setManual(int fan, int flag)
{
    if (fan < 0 || fan >= SIM_FANS || flag < -128 || flag > 127)
        return false;
    state_->manual[fan] = static_cast<int8_t>(flag);
    return true;
}

bool ControllerModel::setTemperature(int sensor, int halfDegrees)
{
    if (sensor < 0 || sensor >= SIM_TEMPS || halfDegrees < -128 || halfDegrees > 127)
        return false;
    state_->tempLevel[sensor] = static_cast<int8_t>(halfDegrees);
    return true;
}

bool ControllerModel::setOverride(int offset, int value)
{
    if (offset < 0 || offset >= SIM_FRAME_SIZE || value < -1 || value > 255)
        return false;
    override_[offset] = static_cast<int16_t>(value);
    return true;
}

void ControllerModel::clearOverrides()
{
    for (auto &o : override_)
        o = -1;
}

} // namespace vornsim
