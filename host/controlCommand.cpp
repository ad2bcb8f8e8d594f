#include "host/controlCommand.h"

#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "host/controlConfigFile.h"
#include "host/controlReport.h"
#include "host/dutySender.h"
#include "host/hostSession.h"
#include "host/stopRequest.h"

namespace {

// In place of a reading while the plug-in's meters still read 0 because its
// first poll has not come (another program kept the controller too long):
// zeros are no temperatures, so the fans get their fail-safe duty.
const char kNoPollYet[] = "vornhost: the plug-in's first poll has not come yet";

SensorReadings sensorsOf(const Reading &reading)
{
    SensorReadings sensors;
    sensors.failed = !reading.error.empty();
    std::copy(reading.digitalCelsius, reading.digitalCelsius + kDigitalSensorCount, sensors.celsius.begin());
    std::copy(reading.analogCelsius, reading.analogCelsius + kAnalogSensorCount,
              sensors.celsius.begin() + kDigitalSensorCount);
    return sensors;
}

// The state between polls and the way out.
class ControlLoop {
public:
    // `sender` null: a dry run.
    ControlLoop(const ControlConfig &config, ControlReport &report, DutySender *sender)
        : config_(config), report_(report), sender_(sender)
    {
    }

    void poll(const std::string &time, const Reading &reading)
    {
        const SensorReadings sensors = sensorsOf(reading);
        ControlStep step = decideControl(config_, sensors, state_);
        state_ = step.state;
        // The plug-in refuses duties while its last poll failed.
        pluginTakes_ = !sensors.failed;
        report_.poll(time, reading, deliver(std::move(step.fans)));
    }

    // Once: every fan's exit duty, then the waiting console handler is let go.
    void finish(StopCause cause)
    {
        if (finished_)
            return;
        finished_ = true;
        report_.exit(timestampNow(), cause, deliver(exitDecisions(config_)));
        exitDutiesDone();
    }

private:
    // Sends what the decisions say to send, and records what got through:
    // a duty that did not is sent again at the next poll.
    std::vector<FanOutcome> deliver(std::vector<FanDecision> decisions)
    {
        std::vector<FanOutcome> outcomes;
        std::vector<FanDuty> duties;
        for (FanDecision &decision : decisions) {
            if (decision.send)
                duties.push_back({decision.fan, decision.target});
            outcomes.push_back({std::move(decision), std::nullopt, nullptr});
        }
        const std::vector<const char *> failures =
            sender_ != nullptr ? sender_->send(duties, !pluginTakes_) : std::vector<const char *>(duties.size());
        size_t next = 0;
        for (FanOutcome &outcome : outcomes) {
            if (!outcome.decision.send)
                continue;
            outcome.failure = failures[next++];
            if (outcome.failure != nullptr)
                continue;
            recordSent(state_, outcome.decision.fan, outcome.decision.target);
            if (sender_ != nullptr)
                outcome.sent = outcome.decision.target;
        }
        return outcomes;
    }

    const ControlConfig &config_;
    ControlReport &report_;
    DutySender *sender_;
    ControlState state_;
    bool pluginTakes_ = false; // no reading yet: exit duties go straight to the device
    bool finished_ = false;
};

} // namespace

int runControl(const std::string &pluginPath, const ControlOptions &options)
{
    ControlConfig config;
    ConfigError error;
    if (!readControlConfig(options.configPath, config, error)) {
        std::fprintf(stderr, "vornhost: %s: %s\n", options.configPath.c_str(),
                     consoleText(configErrorText(error)).c_str());
        return 2;
    }
    HostSession session;
    if (!session.load(pluginPath))
        return 1;
    DutySender sender;
    if (!options.dryRun && !sender.load(pluginPath, session.plugin.module))
        return 1;
    ControlReport report(config, options.json, options.dryRun);
    if (!options.csvPath.empty() && !report.openCsv(options.csvPath))
        return 1;
    ControlLoop loop(config, report, options.dryRun ? nullptr : &sender);

    watchConsoleStop();
    session.openWindow();
    session.endingSession = [&loop](bool logOff) {
        requestStop(logOff ? StopCause::LogOff : StopCause::Shutdown);
        loop.finish(stopRequested());
    };
    // Without the window: a loop that runs unattended says what fails in
    // its output, not in error boxes.
    session.start(false);
    report.begin(options.configPath);
    bool pollIn = session.waitForFirstPoll(&stopFlag());

    const ULONGLONG intervalMs = static_cast<ULONGLONG>(std::llround(config.interval * 1000));
    ULONGLONG due = GetTickCount64();
    for (long long n = 0; stopRequested() == StopCause::None; ++n) {
        const std::string time = timestampNow();
        Reading reading;
        if (!readingFromMeters(session.meters, reading)) {
            std::fprintf(stderr, "vornhost: the plug-in lacks one of the fan controller's meters\n");
            return 1;
        }
        pollIn = pollIn || session.firstPollIn();
        if (!pollIn)
            reading.error = kNoPollYet;
        loop.poll(time, reading);
        if (options.count > 0 && n + 1 >= options.count) {
            requestStop(StopCause::Count);
            break;
        }
        // Until the next poll's time, answering the window's messages. A
        // poll that is late (the computer slept) comes at once, and the
        // schedule goes on from it rather than catching up.
        due += intervalMs;
        const ULONGLONG now = GetTickCount64();
        if (now < due)
            session.pumpMessages(static_cast<DWORD>(std::min(due - now, intervalMs)), stopEvent());
        else
            due = now;
    }
    loop.finish(stopRequested());
    return 0;
}
