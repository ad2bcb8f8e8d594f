// What the service keeps of each poll and alarm, where `vornhost service
// status` and the user find it: the status file, replaced whole at each poll
// with the poll and the last alarm; the day's CSV log (a new file each day,
// the old ones kept `logDays` days); each alarm in the Event Log, and there
// too an alarm program that could not be started (the loop runs it:
// host/process/alarmProgram.h).
#pragma once

#include <string>

#include "host/fans/controlLoop.h"
#include "host/fans/controlReport.h"

class ServiceRecorder : public ControlLoop::Listener {
public:
    ServiceRecorder(const ControlConfig &config, ControlReport &report);

    void poll(const std::string &time, const Reading &reading, const std::vector<FanOutcome> &fans) override;
    void alarm(const std::string &time, const AlarmEvent &event) override;
    void alarmProgramFailed(const std::string &failure) override;

private:
    void writeStatus();

    const ControlConfig &config_;
    ControlReport &report_;
    std::string logDate_;
    JsonDocument lastPoll_;
    JsonDocument lastAlarm_;
};
