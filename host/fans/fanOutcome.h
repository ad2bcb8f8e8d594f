// One fan's decision at a poll and what became of it: what the control
// loop reports, logs and serves.
#pragma once

#include <optional>
#include <string>

#include "control/controlDecision.h"

struct FanOutcome {
    FanDecision decision;
    std::optional<int> sent; // the duty that got through; none when unchanged, in a dry run or not sent
    std::string failure;     // why a send did not get through; empty when it did or none was due
};
