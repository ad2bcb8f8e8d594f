// The controller's status reply: exactly 285 bytes, sent in answer to the
// one-byte status request. Its layout, units and decoding are described in
// docs/protocol.md; these are the offsets the code reads.
#pragma once

#include <cstdint>

#include "core/protocol.h"

constexpr int kFanCount = 4;
constexpr int kDigitalSensorCount = 8;
constexpr int kAnalogSensorCount = 6;

// Byte offsets (0-based) of the fields the plug-in interprets: field i of a
// group lies at its offset + i, fan i's maximum speed at 2 * i further on.
constexpr int kManualModeOffset = 101;
constexpr int kFanDutyOffset = 137;
constexpr int kMaxRpmRawOffset = 148;
constexpr int kDigitalTempOffset = 238;
constexpr int kAnalogTempOffset = 246;

// The frame bytes as the plug-in reads them: two's complement.
inline int8_t frameByte(const uint8_t *frame, int offset)
{
    return static_cast<int8_t>(frame[offset]);
}

// The fan's maximum speed in RPM from its raw word: word * 10.5, truncated
// toward zero (a speed ending in .5 loses the half: 191 gives 2005).
int32_t maxRpmFromWord(int16_t word);

// Decodes all four fans' maximum speeds from a complete frame.
void deriveMaxRpm(const uint8_t *frame, int32_t maxRpm[kFanCount]);

// A fan's current speed in RPM from its duty byte (2-percent steps) and its
// maximum speed: percent * maximum * 0.01, truncated toward zero.
int32_t fanRpmFromDuty(int8_t duty, int32_t maxRpm);
