#include "control/pollSchedule.h"

#include <algorithm>
#include <utility>

PollSchedule::PollSchedule(uint64_t intervalMs, Clock clock)
    : intervalMs_(intervalMs), clock_(std::move(clock)), startMs_(clock_()), dueMs_(startMs_)
{
}

uint64_t PollSchedule::waitMs()
{
    const uint64_t now = clock_();
    if (now >= dueMs_) {
        dueMs_ = now;
        return 0;
    }
    return std::min(dueMs_ - now, intervalMs_);
}
