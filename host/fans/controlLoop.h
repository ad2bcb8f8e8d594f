// The fan-control loop's state between polls and its way out. Each poll is
// one turn of its own on the controller (controller/controllerTurn.h): the
// turn's frame goes to control/'s decision (docs/control.md), the duties it
// decides go out on the same handle (none in a dry run), and what got
// through is recorded, so that a duty that did not is sent again at the next
// poll; at the end every fan gets its exit duty, once, within the exit's
// deadline (host/process/stopRequest.h). The turn ends with the sends: what
// the poll prints, writes and runs comes after it. The alarms each poll
// raises (control/alarmTracker.h) go to the report and to whoever else
// listens, and then, one after another, to the alarm program
// (host/process/alarmProgram.h), which a dry run does not run.
#pragma once

#include <string>
#include <vector>

#include "control/alarmTracker.h"
#include "control/controlDecision.h"
#include "host/device/deviceAccess.h"
#include "host/fans/controlReport.h"
#include "host/process/stopRequest.h"

class ControlLoop {
public:
    // `device` names the controller (or nothing: then nothing is sent and
    // each poll says `unnamed`).
    ControlLoop(const ControlConfig &config, ControlReport &report, DeviceAccess &access, DeviceChoice device,
                const char *unnamed, bool dryRun);

    // One turn; a stop request ends the wait for it.
    void poll(const std::string &time);
    // Told of each poll before the report, of each alarm after it, and of
    // an alarm program that could not be started (the service's status
    // file, daily log and Event Log; the dashboard), in the order they
    // were added, on the loop's thread.
    class Listener {
    public:
        virtual ~Listener() = default;
        virtual void poll(const std::string &time, const Reading &reading, const std::vector<FanOutcome> &fans) = 0;
        virtual void alarm(const std::string &time, const AlarmEvent &event) = 0;
        virtual void alarmProgramFailed(const std::string &failure) = 0;
    };
    void listen(Listener *listener) { listeners_.push_back(listener); }

    // The next poll sends every duty again (after a resume).
    void reapplyAll() { requestReapply(state_); }

    // Once: every fan's exit duty, then the waiting stop handlers are let go.
    void finish(StopCause cause);

private:
    std::vector<FanOutcome> deliver(std::vector<FanDecision> decisions, ControllerTurn &turn,
                                    const std::string &unopened);
    void runAlarmPrograms(const std::vector<AlarmEvent> &events);

    const ControlConfig &config_;
    ControlReport &report_;
    DeviceAccess &access_;
    DeviceChoice device_;
    const char *unnamed_;
    bool dryRun_;
    ControlState state_;
    AlarmTracker alarms_;
    std::vector<Listener *> listeners_;
    bool finished_ = false;
};
