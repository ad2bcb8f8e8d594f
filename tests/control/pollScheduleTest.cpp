#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "control/pollSchedule.h"

namespace {

// The intervals of the two loops that poll on the schedule: watch's default
// second and a control configuration's 2.5 s.
constexpr uint64_t kIntervalsMs[] = {1000, 2500};
constexpr uint64_t kHourMs = 60 * 60 * 1000;

// A clock that moves only when told; it starts far from 0, as a machine's
// tick count does.
struct FakeClock {
    uint64_t now = 123456789;
    PollSchedule::Clock function()
    {
        return [this] { return now; };
    }
};

// The loop as watch and control run it: wait until the poll is due (the
// clock moves on by the wait), poll (`pollMs` long), then the next. `before`
// runs before each wait, to make the clock jump. Returns when each poll came,
// on the clock.
template <class Before>
std::vector<uint64_t> run(PollSchedule &schedule, FakeClock &clock, int polls, uint64_t pollMs, Before before)
{
    std::vector<uint64_t> times;
    for (int n = 0; n < polls; ++n) {
        before(n);
        clock.now += schedule.waitMs();
        EXPECT_EQ(schedule.waitMs(), 0u) << "the poll is due after its wait";
        times.push_back(clock.now);
        clock.now += pollMs;
        schedule.next();
    }
    return times;
}

} // namespace

TEST(PollSchedule, PollsComeOneIntervalApartHoweverLongEachTakes)
{
    for (const uint64_t interval : kIntervalsMs) {
        FakeClock clock;
        const uint64_t start = clock.now;
        PollSchedule schedule(interval, clock.function());
        EXPECT_EQ(schedule.waitMs(), 0u) << "the first poll is due at once";
        const std::vector<uint64_t> times = run(schedule, clock, 10, interval / 3, [](int) {});
        for (size_t n = 0; n < times.size(); ++n)
            EXPECT_EQ(times[n], start + n * interval) << "interval " << interval << ", poll " << n;
        EXPECT_EQ(schedule.dueOffsetMs(), 10 * interval);
    }
}

// The computer sleeps for an hour between two polls: GetTickCount64 counts
// the hour. One poll comes at once, and the next one a whole interval after
// it: not 3,600 (or 1,440) polls back to back to catch up.
TEST(PollSchedule, AnHourAsleepGivesOnePollThenTheIntervalAgain)
{
    for (const uint64_t interval : kIntervalsMs) {
        FakeClock clock;
        const uint64_t start = clock.now;
        PollSchedule schedule(interval, clock.function());
        const std::vector<uint64_t> times =
            run(schedule, clock, 8, 100, [&](int n) { clock.now += n == 3 ? kHourMs : 0; });
        const uint64_t woke = start + 2 * interval + 100 + kHourMs; // after the third poll and its 100 ms
        const std::vector<uint64_t> expected = {
            start,           start + interval,    start + 2 * interval, woke,
            woke + interval, woke + 2 * interval, woke + 3 * interval,  woke + 4 * interval};
        EXPECT_EQ(times, expected) << "interval " << interval;
        // How far into the schedule: the real time, which watch shows.
        EXPECT_EQ(schedule.dueOffsetMs(), woke + 5 * interval - start);
    }
}

// The process is paused in the middle of a poll for longer than an interval
// (a debugger, a suspended console): the next poll comes at once, then the
// schedule goes on from it.
TEST(PollSchedule, APollThatOverrunsIsFollowedAtOnceThenOnSchedule)
{
    for (const uint64_t interval : kIntervalsMs) {
        FakeClock clock;
        PollSchedule schedule(interval, clock.function());
        schedule.next();
        clock.now += 5 * interval + 7;
        const uint64_t late = clock.now;
        EXPECT_EQ(schedule.waitMs(), 0u);
        schedule.next();
        EXPECT_EQ(schedule.waitMs(), interval);
        clock.now += interval;
        EXPECT_EQ(schedule.waitMs(), 0u);
        EXPECT_EQ(clock.now, late + interval);
    }
}

// GetTickCount64 never goes back, but should a clock do so, no wait is longer
// than one interval.
TEST(PollSchedule, NoWaitIsLongerThanOneInterval)
{
    FakeClock clock;
    PollSchedule schedule(1000, clock.function());
    schedule.next();
    clock.now -= 60000;
    EXPECT_EQ(schedule.waitMs(), 1000u);
}

// A resume (the window's message) makes the current poll due at once, even
// when the wait begun before the sleep has not run out, and the schedule goes
// on one interval from there.
TEST(PollSchedule, AResumeMakesThePollDueAtOnce)
{
    for (uint64_t interval : kIntervalsMs) {
        FakeClock clock;
        PollSchedule schedule(interval, clock.function());
        EXPECT_EQ(schedule.waitMs(), 0u);
        schedule.next();
        clock.now += interval / 4;
        schedule.resume();
        EXPECT_EQ(schedule.waitMs(), 0u) << interval;
        const uint64_t resumed = clock.now;
        schedule.next();
        EXPECT_EQ(schedule.waitMs(), interval) << interval;
        clock.now += interval;
        EXPECT_EQ(schedule.waitMs(), 0u);
        EXPECT_EQ(clock.now, resumed + interval);
    }
}
