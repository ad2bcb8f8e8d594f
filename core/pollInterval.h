// The poller's interval in seconds, as stored in the registry, turned into
// the waitable timer's due time: negative 100-nanosecond units, counted from
// the moment of arming.
#pragma once

#include <cstdint>

// Intervals below one second are taken as one second: a due time of zero or
// more would name an absolute moment long past, so every arming would expire
// at once and the poller would hammer the device without pause.
int32_t effectiveInterval(int32_t storedSeconds);

// -effectiveInterval(seconds) * 10,000,000, computed in 64 bits.
int64_t dueTimeFor(int32_t storedSeconds);
