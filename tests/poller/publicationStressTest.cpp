// The poll cycle linked in and run back to back against the simulator, whose
// every reply is one value k in all 285 bytes, while host threads read the
// meters: no reading may ever combine bytes or speeds of two replies.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "plugin/exports.h"
#include "poller/pollThread.h"
#include "state/moduleState.h"
#include "tests/support/registrySettings.h"
#include "tests/support/simulatorSession.h"

namespace {

class Publication : public SimulatorSession {
protected:
    void SetUp() override
    {
        SimulatorSession::SetUp();
        sim.setFrameGenerator(1);
        lastError.store(nullptr);
    }
};

// What GetFanRPM can show for a frame whose every byte is g.
std::set<std::string> consistentFanSpeeds()
{
    std::set<std::string> speeds;
    for (int g = 0; g < 256; ++g) {
        uint8_t frame[kStatusFrameSize];
        std::memset(frame, g, sizeof frame);
        int32_t table[kFanCount];
        deriveMaxRpm(frame, table);
        const int64_t product = static_cast<int64_t>(2 * static_cast<int8_t>(g)) * table[0];
        speeds.insert(std::to_string(static_cast<int32_t>(product * 0.01)));
    }
    return speeds;
}

} // namespace

TEST_F(Publication, ReadersNeverSeeAMixOfTwoFrames)
{
    const std::set<std::string> speeds = consistentFanSpeeds();
    std::atomic<bool> stop{false};
    std::atomic<long> readings{0}, mixed{0};
    std::vector<std::thread> readers;
    for (int r = 0; r < 3; ++r) {
        readers.emplace_back([&, r] {
            char buffer[16];
            uint8_t frame[kStatusFrameSize];
            const char fan[2] = {static_cast<char>('0' + r), '\0'};
            while (!stop.load()) {
                const char *rpm = GetFanRPM(buffer, fan);
                if (speeds.count(rpm) == 0)
                    ++mixed;
                statusFrame.copyFrame(frame);
                for (int i = 1; i < kStatusFrameSize; ++i) {
                    if (frame[i] != frame[0]) {
                        ++mixed;
                        break;
                    }
                }
                ++readings;
            }
        });
    }
    const DWORD start = GetTickCount();
    int cycles = 0;
    while (GetTickCount() - start < 1500) {
        runPollCycle();
        ++cycles;
    }
    stop = true;
    for (std::thread &t : readers)
        t.join();
    EXPECT_EQ(lastError.load(), nullptr) << lastError.load();
    EXPECT_EQ(sim.frameCount(), cycles);
    EXPECT_GT(cycles, 50) << "the cycle should publish frames fast here";
    EXPECT_GT(readings.load(), 1000);
    EXPECT_EQ(mixed.load(), 0) << "of " << readings.load() << " readings over " << cycles << " frames";
}

TEST_F(Publication, AFailedReadPublishesNothing)
{
    runPollCycle();
    ASSERT_EQ(lastError.load(), nullptr);
    uint8_t before[kStatusFrameSize];
    statusFrame.copyFrame(before);
    ASSERT_EQ(before[0], simGeneratorByte(1));

    sim.shortRead(200, 1);
    runPollCycle();
    EXPECT_STREQ(lastError.load(), "FT_Read: Didn't get all the data.");
    sim.failNext(SIM_OP_READ, 0);
    runPollCycle();
    EXPECT_STREQ(lastError.load(), "FT_Read: Can't read data from VORN.");

    uint8_t after[kStatusFrameSize];
    statusFrame.copyFrame(after);
    EXPECT_EQ(std::memcmp(before, after, sizeof before), 0) << "bytes of a failed read reached the meters";
    EXPECT_EQ(deviceHandle, nullptr);
    EXPECT_EQ(sim.openHandles(), 0);

    runPollCycle();
    EXPECT_EQ(lastError.load(), nullptr) << "the first good cycle clears the error";
}

TEST_F(Publication, RefusedOpenLeavesNoHandleBehind)
{
    sim.failNext(SIM_OP_OPEN, 0);
    runPollCycle();
    EXPECT_STREQ(lastError.load(), "FT_OpenEx: Can't open requested device.");
    EXPECT_EQ(deviceHandle, nullptr);
    sim.failNext(SIM_OP_SET_TIMEOUTS, 0);
    runPollCycle();
    EXPECT_STREQ(lastError.load(), "FT_SetTimeouts: Can't set a 3 second timeout.");
    EXPECT_EQ(deviceHandle, nullptr);
    EXPECT_EQ(sim.openHandles(), 0);
}

// The cycle after a failed read: its good open clears the failure text
// before the read begins, so that while the read is under way the meters
// show the last complete frame again; the read's outcome follows.
TEST_F(Publication, AGoodOpenClearsAnEarlierErrorBeforeTheRead)
{
    runPollCycle();
    sim.shortRead(200, 1);
    runPollCycle();
    ASSERT_STREQ(lastError.load(), "FT_Read: Didn't get all the data.");
    sim.gateClose();
    std::thread cycle(runPollCycle);
    ASSERT_TRUE(waitUntil([&] { return sim.gateWaiting() > 0; }, 3000));
    char buffer[16] = {};
    EXPECT_EQ(lastError.load(), nullptr) << "the good open left the earlier error in place";
    EXPECT_STREQ(GetValue(buffer, "1"), "1") << "the meters do not show the last complete frame (the first)";
    sim.gateOpen();
    cycle.join();
    EXPECT_EQ(lastError.load(), nullptr);
}
