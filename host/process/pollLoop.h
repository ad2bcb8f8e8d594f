// The loop of `vornhost watch` and `vornhost control`: a poll when the
// schedule says, until a stop is requested (host/process/stopRequest.h),
// the poll count is reached or the next poll would fall due after the time
// limit. Each command brings its poll and its wait between polls.
#pragma once

#include <cstdint>
#include <functional>

#include "control/pollSchedule.h"

struct PollLimits {
    long long count = 0;  // polls, 0 for no limit
    uint64_t seconds = 0; // since the first poll was due, 0 for no limit
};

enum class PollLoopEnd {
    Stopped,   // a stop was requested
    Count,     // the count of polls is done
    Seconds,   // the next poll would fall due after the limit
    PollFailed // a poll returned false
};

// `poll` takes a poll (false ends the loop), `wait` waits until the
// schedule's next poll is due or a stop is requested.
PollLoopEnd runPolls(PollSchedule &schedule, const PollLimits &limits, const std::function<bool()> &poll,
                     const std::function<void()> &wait);
