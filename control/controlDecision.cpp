#include "control/controlDecision.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "control/numberText.h"

namespace {

// Rounded to the nearest whole percent, halves up, within 0-100. The guards
// keep a configuration that skipped validation (NaN, huge values) defined.
int wholePercent(double percent)
{
    if (!(percent > 0))
        return 0;
    return percent >= 100 ? 100 : static_cast<int>(std::floor(percent + 0.5));
}

int fanNumber(const FanCurveConfig &fan)
{
    if (!(fan.fan > 0))
        return 0;
    return fan.fan >= kFanCount - 1 ? kFanCount - 1 : static_cast<int>(fan.fan);
}

// The chosen sensors' hottest reading, and the text naming those outside the
// plausible range ("digital3 read 63.5 °C"), empty when all are plausible.
struct FanInput {
    double hottest = kLowestCelsius;
    std::string implausible;
};

FanInput inputOf(const FanCurveConfig &fan, const SensorReadings &readings)
{
    FanInput input;
    bool first = true;
    for (const std::string &name : fan.sensors) {
        const std::optional<int> sensor = sensorNumber(name);
        if (!sensor)
            continue;
        const double celsius = readings.celsius[*sensor];
        if (first || celsius > input.hottest)
            input.hottest = celsius;
        first = false;
        if (!(celsius >= fan.plausible.low && celsius <= fan.plausible.high)) {
            if (!input.implausible.empty())
                input.implausible += ", ";
            input.implausible += name + " read " + numberText(celsius) + " °C";
        }
    }
    return input;
}

// The curve's duty with the fan's minimum for a running fan.
int curveDuty(const FanCurveConfig &fan, double input)
{
    const int percent = curvePercent(fan.points, input);
    return percent > 0 ? std::max(percent, wholePercent(fan.minimum)) : 0;
}

// The way down from held toward the lower target, at most maxStepDown at a
// time and not below the minimum while running; from the minimum (or when no
// step is left above it) straight to the target.
int stepDown(const FanCurveConfig &fan, int held, int target)
{
    const int limit = held - wholePercent(fan.maxStepDown);
    if (target >= limit)
        return target;
    const int next = std::max(limit, wholePercent(fan.minimum));
    return next < held ? next : target;
}

void failsafe(const FanCurveConfig &fan, FanControlState &state, FanDecision &decision, std::string why)
{
    decision.target = wholePercent(fan.failsafe);
    decision.reason = DutyReason::Failsafe;
    decision.message = std::move(why);
    state.started = true;
    state.held = decision.target;
    state.anchored = false;
}

// Rules 2 and 3 of the header for a plausible input.
void follow(const FanCurveConfig &fan, double input, FanControlState &state, FanDecision &decision)
{
    if (fan.critical) {
        if (state.critical && input < *fan.critical - fan.hysteresis)
            state.critical = false;
        else if (!state.critical && input >= *fan.critical)
            state.critical = true;
    } else {
        state.critical = false;
    }
    const bool wasStopped = !state.started || state.held == 0;
    if (state.critical) {
        if (!state.started || state.held < 100) {
            state.anchored = true;
            state.anchor = input;
        }
        state.started = true;
        state.held = 100;
        decision.target = 100;
        decision.reason = DutyReason::Critical;
        return;
    }

    const int duty = curveDuty(fan, input);
    decision.reason = DutyReason::Curve;
    if (!state.started || duty > state.held) {
        state.held = duty;
        state.anchored = true;
        state.anchor = input;
    } else if (duty < state.held) {
        if (state.anchored && input > state.anchor - fan.hysteresis) {
            decision.reason = DutyReason::Hysteresis;
        } else {
            state.held = stepDown(fan, state.held, duty);
            if (state.held != duty)
                decision.reason = DutyReason::Step;
        }
    }
    state.started = true;
    decision.target = state.held;

    if (wasStopped && fan.start && state.held > 0 && state.held < wholePercent(*fan.start)) {
        decision.target = wholePercent(*fan.start);
        decision.reason = DutyReason::Start;
    }
}

// The fan is the truth: a duty unchanged since it was sent goes again when
// the frame shows the fan elsewhere (another program set it, the controller
// lost power) or a resume asked for it.
void checkApplied(const FanControlState &state, const SensorReadings &readings, FanDecision &decision)
{
    const int ran = readings.dutyPercent[decision.fan];
    if (!readings.failed && state.sent && std::abs(ran - *state.sent) > kDutyTolerance)
        decision.message = "the fan ran at " + std::to_string(ran) + " %";
    else if (state.reapply)
        decision.message = "the computer resumed";
    else
        return;
    decision.send = true;
    decision.reason = DutyReason::Reapply;
}

} // namespace

const char *dutyReasonName(DutyReason reason)
{
    switch (reason) {
    case DutyReason::Curve:
        return "curve";
    case DutyReason::Hysteresis:
        return "hysteresis";
    case DutyReason::Step:
        return "step";
    case DutyReason::Start:
        return "start";
    case DutyReason::Critical:
        return "critical";
    case DutyReason::Failsafe:
        return "failsafe";
    case DutyReason::Reapply:
        return "reapply";
    case DutyReason::Exit:
        return "exit";
    }
    return "";
}

int curvePercent(const std::vector<CurvePoint> &points, double celsius)
{
    if (points.empty())
        return 0;
    if (!(celsius > points.front().celsius))
        return wholePercent(points.front().percent);
    for (size_t i = 1; i < points.size(); ++i) {
        const CurvePoint &low = points[i - 1];
        const CurvePoint &high = points[i];
        if (celsius < high.celsius)
            return wholePercent(low.percent +
                                (celsius - low.celsius) * (high.percent - low.percent) / (high.celsius - low.celsius));
    }
    return wholePercent(points.back().percent);
}

ControlStep decideControl(const ControlConfig &config, const SensorReadings &readings, const ControlState &state)
{
    ControlStep step{{}, state};
    step.fans.reserve(config.fans.size());
    for (const FanCurveConfig &fan : config.fans) {
        FanDecision decision;
        decision.fan = fanNumber(fan);
        FanControlState &fanState = step.state.fans[decision.fan];
        if (readings.failed) {
            failsafe(fan, fanState, decision, "the reading failed");
        } else {
            FanInput input = inputOf(fan, readings);
            decision.input = input.hottest;
            if (!input.implausible.empty())
                failsafe(fan, fanState, decision,
                         input.implausible + ", outside the plausible " + numberText(fan.plausible.low) + " to " +
                             numberText(fan.plausible.high) + " °C");
            else
                follow(fan, input.hottest, fanState, decision);
        }
        decision.send = fanState.sent != decision.target;
        if (!decision.send)
            checkApplied(fanState, readings, decision);
        fanState.reapply = false;
        step.fans.push_back(std::move(decision));
    }
    return step;
}

void recordSent(ControlState &state, int fan, int percent)
{
    if (fan >= 0 && fan < kFanCount)
        state.fans[fan].sent = percent;
}

void requestReapply(ControlState &state)
{
    for (FanControlState &fan : state.fans)
        fan.reapply = true;
}

std::vector<FanDecision> exitDecisions(const ControlConfig &config)
{
    std::vector<FanDecision> decisions;
    decisions.reserve(config.fans.size());
    for (const FanCurveConfig &fan : config.fans) {
        FanDecision decision;
        decision.fan = fanNumber(fan);
        decision.target = wholePercent(fan.exitPercent());
        decision.send = true;
        decision.reason = DutyReason::Exit;
        decisions.push_back(std::move(decision));
    }
    return decisions;
}
