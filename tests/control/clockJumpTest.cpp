#include <gtest/gtest.h>

#include <cstdint>

#include "control/clockJump.h"

namespace {

// The two clocks of a machine: both move while it is awake, only the first
// while it sleeps.
struct MachineClocks {
    uint64_t counting = 987654321, awake = 12345;
    void run(uint64_t ms)
    {
        counting += ms;
        awake += ms;
    }
    void sleep(uint64_t ms) { counting += ms; }
};

} // namespace

TEST(ClockJump, ASleepIsSeenOnceAndJitterNever)
{
    MachineClocks clocks;
    ClockJump jump([&] { return clocks.counting; }, [&] { return clocks.awake; });
    for (int i = 0; i < 5; ++i) {
        clocks.run(1000);
        EXPECT_FALSE(jump.jumped()) << "awake, the two move together";
    }
    // The tick count's own steps (16 ms) and a short suspension pass unseen.
    clocks.sleep(ClockJump::kThresholdMs);
    clocks.run(16);
    EXPECT_FALSE(jump.jumped());
    clocks.run(500);
    clocks.sleep(60 * 60 * 1000);
    clocks.run(500);
    EXPECT_TRUE(jump.jumped()) << "an hour asleep";
    clocks.run(1000);
    EXPECT_FALSE(jump.jumped()) << "seen once: the next look starts anew";
    // The awake clock ahead of the other (two unsynchronised sources) is no
    // sleep either.
    clocks.awake += 5000;
    EXPECT_FALSE(jump.jumped());
}
