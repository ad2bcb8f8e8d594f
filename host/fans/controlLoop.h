// The fan-control loop's state between polls and its way out: each poll's
// reading goes to control/'s decision (docs/control.md), the duties it
// decides go out through a DutySender (none in a dry run), and what got
// through is recorded, so that a duty that did not is sent again at the next
// poll; at the end every fan gets its exit duty, once.
#pragma once

#include <string>
#include <vector>

#include "control/controlDecision.h"
#include "host/fans/controlReport.h"
#include "host/fans/dutySender.h"
#include "host/output/reading.h"
#include "host/plugin/stopRequest.h"

class ControlLoop {
public:
    // `sender` null: a dry run.
    ControlLoop(const ControlConfig &config, ControlReport &report, DutySender *sender);

    void poll(const std::string &time, const Reading &reading);

    // Once: every fan's exit duty, then the waiting console handler is let go.
    void finish(StopCause cause);

private:
    std::vector<FanOutcome> deliver(std::vector<FanDecision> decisions);

    const ControlConfig &config_;
    ControlReport &report_;
    DutySender *sender_;
    ControlState state_;
    bool pluginTakes_ = false; // no reading yet: exit duties go straight to the device
    bool finished_ = false;
};
