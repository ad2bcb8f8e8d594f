#include <gtest/gtest.h>

#include "control/alarmTracker.h"

namespace {

FanDecision decision(int fan, DutyReason reason, int target = 50, std::string message = "")
{
    FanDecision d;
    d.fan = fan;
    d.input = 40;
    d.target = target;
    d.reason = reason;
    d.message = std::move(message);
    return d;
}

// Polls a second apart from t = 0 with a limit of one minute and 5 s of
// silence for a lost controller; each poll's alarms as "name/fan" joined.
class Alarms : public ::testing::Test {
protected:
    Alarms() : tracker_(AlarmConfig{std::nullopt, "", 1, 5}) {}

    std::string poll(std::vector<FanDecision> fans, bool answered = true)
    {
        std::string out;
        for (const AlarmEvent &event : tracker_.poll(fans, answered, nowMs_))
            out += (out.empty() ? "" : " ") + std::string(alarmName(event.kind)) + "/" + std::to_string(event.fan);
        nowMs_ += 1000;
        return out;
    }
    std::string poll(DutyReason reason, bool answered = true) { return poll({decision(2, reason)}, answered); }

    AlarmTracker tracker_;
    uint64_t nowMs_ = 0;
};

} // namespace

TEST_F(Alarms, FollowTheFailsafeAndCriticalOfEachFan)
{
    EXPECT_EQ(poll(DutyReason::Curve), "");
    EXPECT_EQ(poll(DutyReason::Failsafe), "failsafe-entered/2");
    EXPECT_EQ(poll(DutyReason::Failsafe), "");
    EXPECT_EQ(poll(DutyReason::Critical), "failsafe-left/2 critical-entered/2");
    // A fail-safe poll knows nothing of the temperature: critical stands.
    nowMs_ += 60000;
    EXPECT_EQ(poll(DutyReason::Failsafe), "failsafe-entered/2");
    EXPECT_EQ(poll(DutyReason::Critical), "failsafe-left/2");
    EXPECT_EQ(poll(DutyReason::Hysteresis), "critical-left/2");
    // Fans apart: one fan's fail-safe is not another's.
    EXPECT_EQ(poll({decision(0, DutyReason::Failsafe), decision(3, DutyReason::Curve)}), "failsafe-entered/0");
    EXPECT_EQ(poll({decision(0, DutyReason::Failsafe), decision(3, DutyReason::Failsafe)}), "failsafe-entered/3");
}

TEST_F(Alarms, RepeatAtMostOncePerLimitAndKeepTheirRecoveryWithThem)
{
    EXPECT_EQ(poll(DutyReason::Failsafe), "failsafe-entered/2");
    EXPECT_EQ(poll(DutyReason::Curve), "failsafe-left/2");
    // Flapping within the minute: neither the alarm nor its recovery.
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(poll(DutyReason::Failsafe), "");
        EXPECT_EQ(poll(DutyReason::Curve), "");
    }
    nowMs_ = 60000; // a minute after the first
    EXPECT_EQ(poll(DutyReason::Failsafe), "failsafe-entered/2");
    EXPECT_EQ(poll(DutyReason::Curve), "failsafe-left/2");

    EXPECT_EQ(poll(DutyReason::Reapply), "duty-reapplied/2");
    EXPECT_EQ(poll(DutyReason::Reapply), "");
    nowMs_ += 60000;
    EXPECT_EQ(poll(DutyReason::Reapply), "duty-reapplied/2");
}

TEST_F(Alarms, CallTheControllerLostAfterTheConfiguredSilence)
{
    EXPECT_EQ(poll(DutyReason::Curve), "");
    // Silent from t = 1 s; the last answer was at t = 0.
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(poll(DutyReason::Curve, false), "") << i;
    EXPECT_EQ(poll(DutyReason::Curve, false), "controller-lost/-1");
    EXPECT_EQ(poll(DutyReason::Curve, false), "");
    EXPECT_EQ(poll(DutyReason::Curve, true), "controller-back/-1");
    // A controller silent from the first poll on is lost as well.
    AlarmTracker fresh(AlarmConfig{std::nullopt, "", 15, 2});
    EXPECT_TRUE(fresh.poll({}, false, 100).empty());
    EXPECT_TRUE(fresh.poll({}, false, 1100).empty());
    const std::vector<AlarmEvent> lost = fresh.poll({}, false, 2100);
    ASSERT_EQ(lost.size(), 1u);
    EXPECT_EQ(alarmMessage(lost[0]), "the controller did not answer: for 2 s");
}

TEST(AlarmEvent, MessagesAndSeveritiesForTheEventLog)
{
    const struct {
        AlarmEvent event;
        const char *severity;
        const char *message;
    } cases[] = {
        {{AlarmKind::FailsafeEntered, 1, std::nullopt, 100, "the reading failed"},
         "error",
         "fan 1 runs at its fail-safe duty of 100 %: the reading failed"},
        {{AlarmKind::FailsafeLeft, 1, 41.5, 45, ""},
         "information",
         "fan 1 left its fail-safe duty, now 45 % (41.5 °C)"},
        {{AlarmKind::CriticalEntered, 0, 62, 100, ""},
         "warning",
         "fan 0 runs at full speed: its input reached critical (62 °C)"},
        {{AlarmKind::CriticalLeft, 0, 55, 70, ""}, "information", "fan 0 is back on its curve at 70 % (55 °C)"},
        {{AlarmKind::ControllerLost, kNoFan, std::nullopt, 0, "for 30 s"},
         "error",
         "the controller did not answer: for 30 s"},
        {{AlarmKind::ControllerBack, kNoFan, std::nullopt, 0, ""}, "information", "the controller answers again"},
        {{AlarmKind::DutyReapplied, 3, 30, 40, "the computer resumed"},
         "warning",
         "fan 3 got its duty of 40 % again: the computer resumed"},
        {{AlarmKind::Test, kNoFan, std::nullopt, 0, ""}, "information", "a test of the alarm command"},
    };
    for (const auto &c : cases) {
        EXPECT_STREQ(severityName(alarmSeverity(c.event.kind)), c.severity) << alarmName(c.event.kind);
        EXPECT_EQ(alarmMessage(c.event), c.message);
    }
}
