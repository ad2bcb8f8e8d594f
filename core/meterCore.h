// The meter functions' logic, apart from the Win32 exports: parse the index,
// check its range, give way to a pending error text, then format one value of
// the last complete frame into the caller's buffer.
#pragma once

#include <atomic>

#include "core/statusLatch.h"

enum class Meter {
    DigitalTemp,
    AnalogTemp,
    FanRpm,
    FanPercentage,
    FanMaxRpm,
    FanManualMode,
    Value,
};

extern const char kInvalidSensorIndex[];
extern const char kInvalidFanIndex[];
extern const char kInvalidValueIndex[];
extern const char kNoOutputBuffer[];

// Returns out with the reading written into it, or a constant message (range
// message, the error text, or kNoOutputBuffer for a null out) leaving out
// untouched. Never allocates, never waits.
const char *readMeter(Meter meter, char *out, const char *parameter, const std::atomic<const char *> &lastError,
                      const StatusLatch &status);
