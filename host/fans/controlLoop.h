// The fan-control loop's state between polls and its way out. Each poll is
// one turn of its own on the controller (host/device/deviceTurn.h): the
// turn's frame goes to control/'s decision (docs/control.md), the duties it
// decides go out on the same handle (none in a dry run), and what got
// through is recorded, so that a duty that did not is sent again at the next
// poll; at the end every fan gets its exit duty, once, within the exit's
// deadline (host/plugin/stopRequest.h).
#pragma once

#include <string>
#include <vector>

#include "control/controlDecision.h"
#include "host/device/deviceTurn.h"
#include "host/fans/controlReport.h"
#include "host/plugin/stopRequest.h"

class ControlLoop {
public:
    // `device` names the controller (or nothing: then nothing is sent and
    // each poll says `unnamed`).
    ControlLoop(const ControlConfig &config, ControlReport &report, DeviceAccess &access, DeviceChoice device,
                const char *unnamed, bool dryRun);

    // One turn; a stop request ends the wait for it.
    void poll(const std::string &time);
    // The next poll sends every duty again (after a resume).
    void reapplyAll() { requestReapply(state_); }

    // Once: every fan's exit duty, then the waiting stop handlers are let go.
    void finish(StopCause cause);

private:
    std::vector<FanOutcome> deliver(std::vector<FanDecision> decisions, DeviceTurn &turn);

    const ControlConfig &config_;
    ControlReport &report_;
    DeviceAccess &access_;
    DeviceChoice device_;
    const char *unnamed_;
    bool dryRun_;
    ControlState state_;
    bool finished_ = false;
};
