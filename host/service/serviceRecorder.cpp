#include "host/service/serviceRecorder.h"

#include "host/service/eventLog.h"
#include "host/service/serviceFiles.h"

ServiceRecorder::ServiceRecorder(const ControlConfig &config, ControlReport &report)
    : config_(config), report_(report), lastAlarm_(nullptr)
{
}

void ServiceRecorder::poll(const std::string &time, const Reading &reading, const std::vector<FanOutcome> &fans)
{
    const std::string date = time.substr(0, 10);
    if (date != logDate_) {
        logDate_ = date;
        report_.openCsv(serviceLogPath(time), true);
        pruneServiceLogs(time, static_cast<int>(config_.logDays));
    }
    lastPoll_ = pollJson(time, reading, fans);
    writeStatus();
}

void ServiceRecorder::alarm(const std::string &time, const AlarmEvent &event)
{
    writeEvent(alarmSeverity(event.kind), alarmMessage(event));
    lastAlarm_ = alarmJson(time, event);
    writeStatus();
}

void ServiceRecorder::alarmProgramFailed(const std::string &failure)
{
    writeEvent(AlarmSeverity::Warning, failure);
}

void ServiceRecorder::writeStatus()
{
    replaceFile(serviceStatusPath(), statusText(lastPoll_, lastAlarm_) + "\n");
}
