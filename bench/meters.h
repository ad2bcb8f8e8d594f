// The seven meter functions as the benchmark drives them: their parameter
// range, the value each shows for a given frame, and the text a bare
// snprintf makes of that value (what the meter must match and beat).
#pragma once

#include <windows.h>

#include <cstdint>

#include "plugin/exports.h"

struct BenchMeter {
    const char *name;
    MeterFn linked;   // the copy linked into vornbench (same code as VORN.dll's)
    bool halfDegrees; // "%4.1f" of value * 0.5; otherwise "%d" of value
    int first, last;  // valid parameters
    int32_t (*value)(const uint8_t *frame, const int32_t *maxRpm, int index);
};

constexpr int kMeterCount = 7;
extern const BenchMeter kMeters[kMeterCount];

// "0" ... "285": the parameter texts, with static storage.
const char *parameterText(int index);

// What the meter shows for the value, made with snprintf.
void referenceText(const BenchMeter &meter, int32_t value, char *out, size_t size);
