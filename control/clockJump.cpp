#include "control/clockJump.h"

#include <utility>

ClockJump::ClockJump(Clock counting, Clock awake)
    : counting_(std::move(counting)), awake_(std::move(awake)), lastCounting_(counting_()), lastAwake_(awake_())
{
}

bool ClockJump::jumped()
{
    const uint64_t counting = counting_(), awake = awake_();
    const uint64_t countingMoved = counting - lastCounting_, awakeMoved = awake - lastAwake_;
    lastCounting_ = counting;
    lastAwake_ = awake;
    return countingMoved > awakeMoved && countingMoved - awakeMoved > kThresholdMs;
}
