#include "host/fans/controlLoop.h"

#include <algorithm>

#include "host/output/utcTime.h"

namespace {

SensorReadings sensorsOf(const Reading &reading)
{
    SensorReadings sensors;
    sensors.failed = !reading.error.empty();
    std::copy(reading.digitalCelsius, reading.digitalCelsius + kDigitalSensorCount, sensors.celsius.begin());
    std::copy(reading.analogCelsius, reading.analogCelsius + kAnalogSensorCount,
              sensors.celsius.begin() + kDigitalSensorCount);
    return sensors;
}

} // namespace

ControlLoop::ControlLoop(const ControlConfig &config, ControlReport &report, DutySender *sender)
    : config_(config), report_(report), sender_(sender)
{
}

void ControlLoop::poll(const std::string &time, const Reading &reading)
{
    const SensorReadings sensors = sensorsOf(reading);
    ControlStep step = decideControl(config_, sensors, state_);
    state_ = step.state;
    // The plug-in refuses duties while its last poll failed.
    pluginTakes_ = !sensors.failed;
    report_.poll(time, reading, deliver(std::move(step.fans)));
}

void ControlLoop::finish(StopCause cause)
{
    if (finished_)
        return;
    finished_ = true;
    report_.exit(timestampNow(), cause, deliver(exitDecisions(config_)));
    exitDutiesDone();
}

// Sends what the decisions say to send, and records what got through: a duty
// that did not is sent again at the next poll.
std::vector<FanOutcome> ControlLoop::deliver(std::vector<FanDecision> decisions)
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
