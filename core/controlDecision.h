// The decision of `vornhost control`, once per poll: from the controller's
// temperatures, the configuration (validated, core/controlConfig.h) and the
// state the previous poll left, each configured fan's duty, whether to send
// it, and why. Pure: no clock, no device, no allocation beyond the results;
// the host owns the loop, the sending and the state between polls.
//
// Each fan is driven by its input, the hottest of its chosen sensors. In this
// order, the first rule that applies sets its target:
//
// 1. "failsafe": the reading failed, or a chosen sensor reads outside the
//    fan's plausible range (a broken or unplugged sensor, or the byte
//    saturated at 63.5 °C). The fan gets its failsafe duty at once, and the
//    message says why. As in lm-sensors' fancontrol, a fault means a safe
//    duty, not the last one.
// 2. "critical": the input is at or above `critical`. 100 % until the input
//    falls below critical - hysteresis; the latch outlives a fail-safe.
// 3. The curve: duty linear between the points, flat beyond the ends, rounded
//    to the nearest whole percent (halves up); a positive duty is raised to
//    `minimum`, a duty of 0 stays 0 (the fan stops).
//    - Up is immediate ("curve"), and the input at that moment becomes the
//      anchor of the hold below.
//    - Down waits ("hysteresis") until the input has fallen `hysteresis` °C
//      below the anchor, the temperature at which the duty last rose. This is
//      FanControl's rule (hysteresis on the way down only) rather than
//      thinkfan's fixed bands; since the hold compares temperatures, a curve
//      that falls as the temperature rises keeps its higher duty until the
//      input falls back.
//    - Then it goes down by at most `maxStepDown` per poll ("step"), as
//      fan2go's maxPwmChangePerCycle but on the way down only, and never
//      below `minimum` while the fan runs: a fan at its minimum whose curve
//      says 0 stops in one move, as fancontrol keeps a running fan at
//      MINSTOP or above and drops it to MINPWM below MINTEMP.
//    - "start": when the fan leaves 0 (or on the first poll, when what it
//      runs at is unknown) for a duty below `start`, the target is `start`
//      for this one poll (fancontrol's MINSTART, fan2go's start PWM); the
//      next poll goes straight to the curve's duty, neither held nor stepped.
//    The reason is "curve" when the curve's duty stands as it is.
// After a fail-safe the held duty is the failsafe duty without an anchor: the
// next good reading goes up from it at once or down from it step by step,
// never held, since no temperature belongs to it. "critical" sets the held
// duty to 100 with the input at its onset as the anchor, so that after the
// release the fan comes down as from any other rise.
//
// Sending: a duty is sent only when it differs from the last one the host
// confirmed with recordSent. A send that did not get through (the device
// refused, or the lock could not be had) is simply not recorded, so the next
// poll sends again: a fail-safe duty is retried every poll until it gets
// through. Before the first confirmation every target is sent, since what the
// fan runs at is unknown. In a dry run, record every duty as if sent, so that
// `send` shows what a real run would send.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "core/controlConfig.h"
#include "core/sensorName.h"
#include "core/statusFrame.h"

enum class DutyReason {
    Curve,
    Hysteresis,
    Step,
    Start,
    Critical,
    Failsafe,
    Exit,
};

// "curve", "hysteresis", "step", "start", "critical", "failsafe", "exit".
const char *dutyReasonName(DutyReason reason);

// One poll's temperatures in °C as the frame gives them, digital0-7 then
// analog0-5 (core/sensorName.h), or a failed reading.
struct SensorReadings {
    bool failed = false;
    std::array<double, kSensorCount> celsius = {};
};

// What the previous polls left for one fan; a default value is the fresh
// start. The host keeps it between polls and touches it only through
// recordSent.
struct FanControlState {
    bool started = false;    // a duty has been decided
    int held = 0;            // the duty the rules hold (the start kick aside)
    bool anchored = false;   // anchor holds the input of the last rise
    double anchor = 0;       // °C
    bool critical = false;   // latched at or above critical
    std::optional<int> sent; // the last duty the host confirmed as sent
};

// Indexed by fan number, so that it does not depend on the order of the
// configuration's entries.
struct ControlState {
    std::array<FanControlState, kFanCount> fans;
};

struct FanDecision {
    int fan = 0;
    std::optional<double> input; // the hottest chosen sensor, even an implausible one; none when the reading failed
    int target = 0;              // percent, 0-100
    bool send = false;           // target differs from the last confirmed duty
    DutyReason reason = DutyReason::Curve;
    std::string message; // for "failsafe", why: "the reading failed", or which sensors read what; else empty
};

struct ControlStep {
    std::vector<FanDecision> fans; // in the configuration's order
    ControlState state;            // for the next poll, after recordSent
};

// One poll. The configuration must have passed validateControlConfig.
ControlStep decideControl(const ControlConfig &config, const SensorReadings &readings, const ControlState &state);

// The host confirms that the duty reached the fan.
void recordSent(ControlState &state, int fan, int percent);

// At the end: every configured fan's onExit duty, reason "exit", input none,
// in the configuration's order. Always to be sent, even when it equals the
// last duty sent: another program may have set the fan since, and this is the
// duty the fan keeps after vornhost ends.
std::vector<FanDecision> exitDecisions(const ControlConfig &config);

// The curve alone: the points' duty at the input, rounded, before minimum.
int curvePercent(const std::vector<CurvePoint> &points, double celsius);
