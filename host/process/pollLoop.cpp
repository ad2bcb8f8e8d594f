#include "host/process/pollLoop.h"

#include "host/process/stopRequest.h"

PollLoopEnd runPolls(PollSchedule &schedule, const PollLimits &limits, const std::function<bool()> &poll,
                     const std::function<void()> &wait)
{
    for (long long n = 0; stopRequested() == StopCause::None; ++n) {
        if (!poll())
            return PollLoopEnd::PollFailed;
        if (limits.count > 0 && n + 1 >= limits.count)
            return PollLoopEnd::Count;
        schedule.next();
        if (limits.seconds > 0 && schedule.dueOffsetMs() > limits.seconds * 1000)
            return PollLoopEnd::Seconds;
        wait();
    }
    return PollLoopEnd::Stopped;
}
