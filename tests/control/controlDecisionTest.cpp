#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "control/controlDecision.h"

namespace {

// One fan (fan 2) on digital0 and analog5 that the tests shape, polled like
// the host does: every duty marked to send is recorded as sent, and the next
// frame shows the fan at it.
class Control : public ::testing::Test {
protected:
    Control()
    {
        FanCurveConfig fan;
        fan.fan = 2;
        fan.sensors = {"digital0", "analog5"};
        fan.points = {{30, 20}, {50, 60}, {60, 100}};
        config_.fans.push_back(fan);
        readings_.celsius.fill(25);
    }
    FanCurveConfig &fan() { return config_.fans[0]; }

    FanDecision poll(double celsius, bool confirm = true)
    {
        readings_.failed = false;
        readings_.celsius[0] = celsius;
        return decide(confirm);
    }
    FanDecision pollFailed(bool confirm = true)
    {
        readings_.failed = true;
        return decide(confirm);
    }
    // "reason target" for each input in turn.
    std::string walk(std::initializer_list<double> inputs)
    {
        std::string out;
        for (double celsius : inputs) {
            const FanDecision d = poll(celsius);
            out += (out.empty() ? "" : ", ") + std::string(dutyReasonName(d.reason)) + " " + std::to_string(d.target);
        }
        return out;
    }

    ControlConfig config_;
    SensorReadings readings_;
    ControlState state_;

private:
    FanDecision decide(bool confirm)
    {
        ControlStep step = decideControl(config_, readings_, state_);
        state_ = step.state;
        EXPECT_EQ(step.fans.size(), 1u);
        const FanDecision d = step.fans.at(0);
        if (d.send && confirm) {
            recordSent(state_, d.fan, d.target);
            // The fan obeys: the next frame shows it, in 2-percent steps.
            readings_.dutyPercent[d.fan] = d.target / 2 * 2;
        }
        return d;
    }
};

} // namespace

TEST(CurvePercent, LinearBetweenPointsFlatBeyondRoundedHalvesUp)
{
    const std::vector<CurvePoint> curve = {{30, 20}, {50, 60}, {60, 100}};
    const std::pair<double, int> cases[] = {{-64, 20}, {29.5, 20}, {30, 20},  {40, 40},   {45.5, 51},
                                            {50, 60},  {57.5, 90}, {60, 100}, {63.5, 100}};
    for (const auto &[celsius, percent] : cases)
        EXPECT_EQ(curvePercent(curve, celsius), percent) << celsius;
    const std::vector<CurvePoint> third = {{0, 0}, {3, 1}};
    EXPECT_EQ(curvePercent(third, 1.5), 1); // 0.5
    EXPECT_EQ(curvePercent(third, 1.0), 0); // 0.33
    const std::vector<CurvePoint> whole = {{-64, 0}, {63.5, 100}};
    EXPECT_EQ(curvePercent(whole, -64), 0);
    EXPECT_EQ(curvePercent(whole, -0.25), 50);
    EXPECT_EQ(curvePercent(whole, 63.5), 100);
    EXPECT_EQ(curvePercent({{40, 35}}, 10), 35);
    EXPECT_EQ(curvePercent({{40, 35}}, 60), 35);
}

TEST_F(Control, FollowsTheHottestChosenSensor)
{
    readings_.celsius[kSensorCount - 1] = 40; // analog5
    readings_.celsius[1] = 60;                // digital1, not chosen
    const FanDecision d = poll(35);
    EXPECT_EQ(d.fan, 2);
    EXPECT_EQ(d.input, 40.0);
    EXPECT_EQ(d.target, 40);
    EXPECT_EQ(d.reason, DutyReason::Curve);
    EXPECT_TRUE(d.message.empty());
}

TEST_F(Control, UpAtOnceDownAfterTheHysteresisThenStepByStep)
{
    EXPECT_EQ(walk({50, 48.5, 47.5, 47}), "curve 60, hysteresis 60, hysteresis 60, curve 54");
    EXPECT_EQ(walk({60, 58, 57, 20, 20, 20, 20, 20, 20, 20, 20}),
              "curve 100, hysteresis 100, step 90, step 80, step 70, step 60, step 50, step 40, step 30, curve 20, "
              "curve 20");
    // A new rise moves the anchor: 52 °C, so 49.5 holds and 49 lets go.
    EXPECT_EQ(walk({50, 52, 49.5, 49}), "curve 60, curve 68, hysteresis 68, curve 58");
    fan().hysteresis = 0;
    fan().maxStepDown = 100;
    EXPECT_EQ(walk({60, 59.5, 20}), "curve 100, curve 98, curve 20");
}

TEST_F(Control, MinimumKeepsARunningFanUpAndAStopIsOneMove)
{
    fan().points = {{30, 0}, {40, 20}, {60, 100}};
    fan().minimum = 30;
    fan().maxStepDown = 40;
    EXPECT_EQ(walk({25, 35, 30, 60, 20, 20, 20}), "curve 0, curve 30, curve 0, curve 100, step 60, step 30, curve 0");
}

TEST_F(Control, StartKicksOnePollWhenLeavingZero)
{
    fan().points = {{30, 0}, {40, 20}, {60, 100}};
    fan().start = 50;
    EXPECT_EQ(walk({35, 35, 25, 35, 60, 20, 60}),
              "start 50, curve 10, curve 0, start 50, curve 100, step 90, curve 100");
    EXPECT_TRUE(poll(60).send == false); // unchanged
    state_ = {};
    EXPECT_EQ(walk({25, 55}), "curve 0, curve 80"); // no kick at or above start
}

TEST_F(Control, CriticalLatchesUntilBelowCriticalMinusHysteresis)
{
    fan().points = {{30, 20}, {60, 60}};
    fan().critical = 55;
    EXPECT_EQ(walk({54.5, 55, 63, 52, 51.5, 51.5}),
              "curve 53, critical 100, critical 100, critical 100, step 90, step 80");
    // The ends of the range: critical at 63.5 °C, and -64 °C plausible here.
    fan().critical = 63.5;
    fan().plausible = {-64, 63.5};
    state_ = {};
    EXPECT_EQ(walk({63, 63.5, 60.5, 60, -64}), "curve 60, critical 100, critical 100, step 90, step 80");
}

TEST_F(Control, FailsafeAtOnceRetriedUntilSentAndLeftStepByStep)
{
    fan().failsafe = 80;
    EXPECT_EQ(poll(40).target, 40);
    FanDecision d = pollFailed(false); // the send did not get through
    EXPECT_EQ(d.reason, DutyReason::Failsafe);
    EXPECT_EQ(d.target, 80);
    EXPECT_FALSE(d.input);
    EXPECT_EQ(d.message, "the reading failed");
    EXPECT_TRUE(d.send);
    EXPECT_TRUE(pollFailed().send); // retried, now confirmed
    EXPECT_FALSE(pollFailed().send);

    readings_.celsius[kSensorCount - 1] = -64; // analog5 unplugged
    d = poll(63.5);                            // digital0 saturated
    EXPECT_EQ(d.reason, DutyReason::Failsafe);
    EXPECT_EQ(d.input, 63.5);
    EXPECT_EQ(d.message, "digital0 read 63.5 °C, analog5 read -64 °C, outside the plausible -10 to 63 °C");
    readings_.celsius[kSensorCount - 1] = 25;
    // No temperature belongs to the failsafe duty: nothing holds it.
    EXPECT_EQ(walk({35, 35, 35, 35, 35}), "step 70, step 60, step 50, step 40, curve 30");
    pollFailed();
    EXPECT_EQ(walk({63}), "curve 100"); // the top of the plausible range
}

TEST_F(Control, FansKeepTheirOwnStateAndExitWithTheirOwnDuty)
{
    FanCurveConfig other;
    other.fan = 0;
    other.sensors = {"digital7"};
    other.points = {{20, 50}};
    other.failsafe = 90;
    fan().onExit = 35;
    config_.fans.insert(config_.fans.begin(), other);
    readings_.celsius[0] = 64; // implausible for fan 2 only
    auto describe = [](const std::vector<FanDecision> &fans) {
        std::string out;
        for (const FanDecision &d : fans)
            out += std::to_string(d.fan) + " " + dutyReasonName(d.reason) + " " + std::to_string(d.target) +
                   (d.send ? " send" : "") + (d.input ? "" : " no input") + "; ";
        return out;
    };
    ControlStep step = decideControl(config_, readings_, state_);
    EXPECT_EQ(describe(step.fans), "0 curve 50 send; 2 failsafe 100 send; ");
    recordSent(step.state, 0, 50); // fan 2's send did not get through
    readings_.dutyPercent[0] = 50;
    step = decideControl(config_, readings_, step.state);
    EXPECT_EQ(describe(step.fans), "0 curve 50; 2 failsafe 100 send; ");
    // The failsafe by default, onExit where given; sent even when unchanged.
    EXPECT_EQ(describe(exitDecisions(config_)), "0 exit 90 send no input; 2 exit 35 send no input; ");
}

// A random walk of temperatures and failures through random settings: the fan
// never runs slower than its curve asks, and never comes down faster than
// maxStepDown except when it stops from its minimum.
TEST_F(Control, NeverBelowTheCurveNeverFasterDownThanTheStep)
{
    std::mt19937 random(17);
    auto uniform = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
    for (int run = 0; run < 200; ++run) {
        fan().points = {{static_cast<double>(uniform(-64, 0)), static_cast<double>(uniform(0, 100))},
                        {static_cast<double>(uniform(1, 63)), static_cast<double>(uniform(0, 100))}};
        fan().hysteresis = uniform(0, 8) / 2.0;
        fan().maxStepDown = uniform(1, 100);
        fan().minimum = uniform(0, 60);
        fan().start = uniform(0, 100);
        fan().critical = uniform(-100, 127) / 2.0;
        fan().failsafe = uniform(0, 100);
        ASSERT_FALSE(validateControlConfig(config_));
        state_ = {};
        double celsius = uniform(-20, 126) / 2.0;
        int previous = -1; // none before the first poll
        for (int i = 0; i < 100; ++i) {
            celsius = std::clamp(celsius + uniform(-6, 6) / 2.0, -20.0, 63.5);
            const FanDecision d = uniform(0, 20) == 0 ? pollFailed() : poll(celsius);
            ASSERT_GE(d.target, 0);
            ASSERT_LE(d.target, 100);
            if (d.reason == DutyReason::Failsafe) {
                previous = d.target; // and from there down step by step
                continue;
            }
            const int curve = curvePercent(fan().points, *d.input);
            ASSERT_GE(d.target, curve > 0 ? std::max(curve, static_cast<int>(fan().minimum)) : 0) << run << " " << i;
            if (previous >= 0 && d.target > 0)
                ASSERT_LE(previous - d.target, fan().maxStepDown) << run << " " << i;
            if (previous >= 0 && d.target == 0)
                ASSERT_LE(previous, std::max(fan().minimum, fan().maxStepDown)) << run << " " << i;
            previous = d.reason == DutyReason::Start ? state_.fans[2].held : d.target;
        }
    }
}

// The fan is the truth: a duty that another program changed, or that a
// re-powered controller lost, goes again once, with what the fan ran at;
// the frame's 2-percent steps and a failed reading never trigger it.
TEST_F(Control, AFanFoundAwayFromItsDutyGetsItAgain)
{
    EXPECT_EQ(walk({40}), "curve 40");
    readings_.dutyPercent[2] = 38; // one step away: the frame's rounding
    EXPECT_FALSE(poll(40).send);
    readings_.dutyPercent[2] = 36; // more than one step: someone else's duty
    FanDecision d = poll(40);
    EXPECT_TRUE(d.send);
    EXPECT_EQ(d.reason, DutyReason::Reapply);
    EXPECT_EQ(d.target, 40);
    EXPECT_EQ(d.message, "the fan ran at 36 %");
    EXPECT_FALSE(poll(40).send) << "once the fan runs at it again";

    readings_.dutyPercent[2] = 0;
    d = pollFailed(false);
    EXPECT_EQ(d.reason, DutyReason::Failsafe) << "a failed reading shows no duty";
    // A duty not confirmed (the send failed) goes again by its own rule.
    d = pollFailed(false);
    EXPECT_EQ(d.reason, DutyReason::Failsafe);
    EXPECT_TRUE(d.send);
}

TEST_F(Control, AResumeSendsEveryDutyAgainOnce)
{
    FanCurveConfig other = fan();
    other.fan = 0;
    config_.fans.push_back(other);
    ControlStep step = decideControl(config_, readings_, state_);
    for (const FanDecision &d : step.fans) {
        recordSent(step.state, d.fan, d.target);
        readings_.dutyPercent[d.fan] = d.target;
    }
    state_ = step.state;
    requestReapply(state_);
    step = decideControl(config_, readings_, state_);
    ASSERT_EQ(step.fans.size(), 2u);
    for (const FanDecision &d : step.fans) {
        EXPECT_TRUE(d.send) << d.fan;
        EXPECT_EQ(d.reason, DutyReason::Reapply) << d.fan;
        EXPECT_EQ(d.message, "the computer resumed") << d.fan;
    }
    step = decideControl(config_, readings_, step.state);
    for (const FanDecision &d : step.fans)
        EXPECT_FALSE(d.send) << "only once: " << d.fan;
}
