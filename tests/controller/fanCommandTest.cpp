#include <gtest/gtest.h>

#include <cstring>
#include <thread>

#include "plugin/exports.h"
#include "tests/poller/pollerFixture.h"
#include "tests/support/processRunner.h"

namespace {

class FanCommand : public PollerTest {
protected:
    void SetUp() override
    {
        PollerTest::SetUp();
        load();
        setFan = plugin->get<SetFanPercentageFn>("SetFanPercentage");
        sim.logClear();
    }
    // Sends the command with a canary buffer, which must come back untouched.
    const char *send(const char *fan, const char *percent)
    {
        char buffer[16];
        std::memset(buffer, 0x5A, sizeof buffer);
        const char *result = setFan(buffer, fan, percent);
        for (char c : buffer)
            EXPECT_EQ(c, 0x5A) << "the output buffer was written";
        return result;
    }
    // The bytes of every 2-byte write in the log, in order.
    std::vector<std::pair<int, int>> commandsSent() const
    {
        std::vector<std::pair<int, int>> sent;
        for (const SimLogEntry &e : log()) {
            if (e.op == SIM_OP_WRITE && e.args[0] == 2)
                sent.emplace_back(e.data[0], e.dataLen > 1 ? e.data[1] : -1);
        }
        return sent;
    }

    SetFanPercentageFn setFan = nullptr;
};

} // namespace

TEST_F(FanCommand, ChecksTheFanBeforeThePercentage)
{
    EXPECT_STREQ(send("4", "150"), "Invalid fan index");
    EXPECT_STREQ(send("-1", "50"), "Invalid fan index");
    EXPECT_STREQ(send("2", "101"), "Invalid percentage");
    EXPECT_STREQ(send("2", "-1"), "Invalid percentage");
    EXPECT_EQ(opens(), 0);
}

TEST_F(FanCommand, SendsTheTwoBytesOnAConnectionOfItsOwn)
{
    EXPECT_EQ(send("0", "100"), nullptr);
    EXPECT_EQ(send("3", "0"), nullptr);
    EXPECT_EQ(send("x", " 35 percent"), nullptr); // no digits: fan 0
    const std::vector<std::pair<int, int>> expected = {{0x11, 0x64}, {0x14, 0x00}, {0x11, 35}};
    EXPECT_EQ(commandsSent(), expected) << describe(log());

    // Each command: open, line set-up, the write, close.
    const auto entries = log();
    ASSERT_EQ(entries.size(), 18u) << describe(entries);
    const int order[] = {SIM_OP_OPEN,         SIM_OP_SET_BAUD_RATE, SIM_OP_SET_DATA_CHARACTERISTICS,
                         SIM_OP_SET_TIMEOUTS, SIM_OP_WRITE,         SIM_OP_CLOSE};
    for (size_t i = 0; i < entries.size(); ++i)
        EXPECT_EQ(entries[i].op, order[i % 6]) << i;
    EXPECT_EQ(sim.openHandles(), 0);
    uint8_t frame[SIM_FRAME_SIZE];
    sim.getFrame(0, frame);
    EXPECT_EQ(frame[SIM_OFF_DUTY + 0], 17); // 35 % in 2-percent steps
    EXPECT_EQ(frame[SIM_OFF_DUTY + 3], 0);
}

TEST_F(FanCommand, ShortOrFailedWriteIsReportedAndTheHandleClosed)
{
    sim.shortWrite(1, 1);
    EXPECT_STREQ(send("1", "50"), "FT_Write: Can't send SER_SET command.");
    sim.failNext(SIM_OP_WRITE, 0);
    EXPECT_STREQ(send("1", "50"), "FT_Write: Can't send SER_SET command.");
    sim.failNext(SIM_OP_SET_BAUD_RATE, 0);
    EXPECT_STREQ(send("1", "50"), "FT_SetBaudRate: Cant't set baud to 19200.");
    sim.unplug(0);
    EXPECT_STREQ(send("1", "50"), "FT_OpenEx: Can't open requested device.");
    EXPECT_EQ(sim.openHandles(), 0);
    EXPECT_EQ(sim.counts().badCloses, 0);
}

TEST_F(FanCommand, PendingErrorRefusesWithoutOpening)
{
    seedSettings(0, 1);
    sim.failAlways(SIM_OP_READ, 0);
    start();
    ASSERT_TRUE(waitUntil([&] { return meter("GetValue", "1") == "FT_Read: Can't read data from VORN."; }, 3000));
    const DWORD poller = log().front().threadId;
    EXPECT_STREQ(send("0", "50"), "FT_Read: Can't read data from VORN.");
    for (const SimLogEntry &e : log())
        EXPECT_EQ(e.threadId, poller) << "the command touched the device";
    // Argument errors still come first.
    EXPECT_STREQ(send("9", "50"), "Invalid fan index");
}

TEST_F(FanCommand, WaitsForAHeldCycleThenSends)
{
    seedSettings(0, 1);
    sim.setGateLimit(1500);
    start();
    sim.gateClose();
    ASSERT_TRUE(waitUntil([&] { return sim.counts().calls[SIM_OP_WRITE] >= 1; }, 3000));
    EXPECT_EQ(send("2", "60"), nullptr);
    sim.gateOpen();

    // The poller's close comes before the command's open: never interleaved.
    const auto entries = log();
    int held = 0;
    for (const SimLogEntry &e : entries) {
        if (e.op == SIM_OP_OPEN)
            ++held;
        if (e.op == SIM_OP_CLOSE)
            --held;
        EXPECT_LE(held, 1) << describe(entries);
    }
    EXPECT_EQ(commandsSent(), (std::vector<std::pair<int, int>>{{0x13, 60}}));
    // The next cycle opens the device normally and reports the new duty.
    ASSERT_TRUE(waitUntil([&] { return meter("GetFanPercentage", "2") == "60"; }, 3000));
    EXPECT_EQ(sim.openHandles(), 0);
}

TEST_F(FanCommand, GivesUpOnACycleHeldPastTheBound)
{
    seedSettings(0, 1);
    sim.setGateLimit(9000);
    start();
    sim.gateClose();
    ASSERT_TRUE(waitUntil([&] { return sim.counts().calls[SIM_OP_WRITE] >= 1; }, 3000));
    const DWORD before = GetTickCount();
    EXPECT_STREQ(send("1", "20"), "SetFanPercentage: Device busy, command not sent.");
    const DWORD waited = GetTickCount() - before;
    EXPECT_GE(waited, 4500u);
    EXPECT_LE(waited, 8000u);
    EXPECT_TRUE(commandsSent().empty());
    sim.gateOpen();
}

TEST_F(FanCommand, HostSetFanCommand)
{
    seedSettings(0, 1);
    ProgramRun run = runProgram("vornhost.exe set-fan 1 40");
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_NE(run.output.find("sent"), std::string::npos) << run.output;
    run = runProgram("vornhost.exe set-fan 1 400");
    EXPECT_EQ(run.exitCode, 1) << run.output;
    EXPECT_NE(run.output.find("Invalid percentage"), std::string::npos) << run.output;
}
