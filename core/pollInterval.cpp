#include "core/pollInterval.h"

int32_t effectiveInterval(int32_t storedSeconds)
{
    return storedSeconds < 1 ? 1 : storedSeconds;
}

int64_t dueTimeFor(int32_t storedSeconds)
{
    constexpr int64_t kHundredNanosecondsPerSecond = 10000000;
    return -static_cast<int64_t>(effectiveInterval(storedSeconds)) * kHundredNanosecondsPerSecond;
}
