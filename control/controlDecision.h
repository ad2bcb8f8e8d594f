// The per-poll decision of `vornhost control`: from the controller's
// temperatures, the validated configuration (control/controlConfig.h) and
// the state the previous poll left, each configured fan's duty, whether to
// send it, and why. Pure: no clock, no device, no allocation beyond the
// results; the host owns the loop, the sending and the state between polls.
// The rules, their order and their reasons: docs/control.md.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "control/controlConfig.h"
#include "control/sensorName.h"
#include "core/statusFrame.h"

enum class DutyReason {
    Curve,
    Hysteresis,
    Step,
    Start,
    Critical,
    Failsafe,
    Reapply,
    Exit,
};
// DutyReason's values.
constexpr int kDutyReasonCount = static_cast<int>(DutyReason::Exit) + 1;

// "curve", "hysteresis", "step", "start", "critical", "failsafe", "reapply",
// "exit".
const char *dutyReasonName(DutyReason reason);

// One poll's temperatures in °C as the frame gives them, digital0-7 then
// analog0-5 (control/sensorName.h), and each fan's duty in percent as the
// same frame shows it (in 2-percent steps); or a failed reading.
struct SensorReadings {
    bool failed = false;
    std::array<double, kSensorCount> celsius = {};
    std::array<int, kFanCount> dutyPercent = {};
};

// How far the frame's duty may stand from the duty sent: one step of the
// frame's 2 percent.
constexpr int kDutyTolerance = 2;

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
    bool reapply = false;    // send at the next poll whatever it decides (requestReapply)
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
    bool send = false;           // target differs from the last confirmed duty, or reapplied
    DutyReason reason = DutyReason::Curve;
    // Why, for "failsafe" ("the reading failed", or which sensors read what)
    // and "reapply" ("the fan ran at 40 %", or "the computer resumed"); else
    // empty.
    std::string message;
};

struct ControlStep {
    std::vector<FanDecision> fans; // in the configuration's order
    ControlState state;            // for the next poll, after recordSent
};

// One poll. The configuration must have passed validateControlConfig.
ControlStep decideControl(const ControlConfig &config, const SensorReadings &readings, const ControlState &state);

// The host confirms that the duty reached the fan.
void recordSent(ControlState &state, int fan, int percent);

// After a resume, when the controller may have been powered anew: the next
// poll sends every fan's duty again (reason "reapply") even when unchanged.
void requestReapply(ControlState &state);

// At the end: every configured fan's onExit duty, reason "exit", input none,
// in the configuration's order. Always to be sent, even when it equals the
// last duty sent: another program may have set the fan since, and this is the
// duty the fan keeps after vornhost ends.
std::vector<FanDecision> exitDecisions(const ControlConfig &config);

// The curve alone: the points' duty at the input, rounded, before minimum.
int curvePercent(const std::vector<CurvePoint> &points, double celsius);
