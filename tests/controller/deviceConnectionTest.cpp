#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/statusFrame.h"
#include "plugin/exports.h"
#include "tests/support/processRunner.h"
#include "tests/support/simulatorSession.h"

namespace {

using CloseFn = decltype(&FT_Close);

class DeviceConnection : public SimulatorSession {
protected:
    void SetUp() override
    {
        SimulatorSession::SetUp();
        openConnection = plugin.get<OpenConnectionFn>("openConnection");
        readFromVorn = plugin.get<ReadFromVornFn>("readFromVorn");
        ftClose = reinterpret_cast<CloseFn>(
            reinterpret_cast<void (*)()>(GetProcAddress(simulatorModule_, MAKEINTRESOURCEA(2))));
        sim.logClear();
    }
    std::string meter(const char *name, const char *parameter)
    {
        char buffer[32] = {};
        return plugin.get<MeterFn>(name)(buffer, parameter);
    }

    PluginModule plugin;
    OpenConnectionFn openConnection = nullptr;
    ReadFromVornFn readFromVorn = nullptr;
    CloseFn ftClose = nullptr;
};

} // namespace

TEST_F(DeviceConnection, GoodOpenAndReadFollowTheLineSetUpAndExchange)
{
    void *handle = nullptr;
    ASSERT_EQ(openConnection(0, &handle), nullptr);
    ASSERT_NE(handle, nullptr);
    uint8_t frame[kStatusFrameSize + 1];
    frame[kStatusFrameSize] = 0xA5; // the read must stop at 285 bytes
    ASSERT_EQ(readFromVorn(handle, frame), nullptr);
    EXPECT_EQ(frame[kStatusFrameSize], 0xA5);
    ftClose(handle);

    const auto entries = log();
    ASSERT_EQ(entries.size(), 7u) << describe(entries);
    const struct {
        int op;
        unsigned long a0, a1, a2;
    } expected[] = {
        {SIM_OP_OPEN, 0, 0, 0},
        {SIM_OP_SET_BAUD_RATE, 19200, 0, 0},
        {SIM_OP_SET_DATA_CHARACTERISTICS, 8, 0, 0},
        {SIM_OP_SET_TIMEOUTS, 3000, 0, 0},
        {SIM_OP_WRITE, 1, 0, 0},
        {SIM_OP_READ, 285, 0, 0},
        {SIM_OP_CLOSE, 0, 0, 0},
    };
    for (size_t i = 0; i < entries.size(); ++i) {
        EXPECT_EQ(entries[i].op, expected[i].op) << i << "\n" << describe(entries);
        EXPECT_EQ(entries[i].args[0], expected[i].a0) << i;
        EXPECT_EQ(entries[i].args[1], expected[i].a1) << i;
        EXPECT_EQ(entries[i].args[2], expected[i].a2) << i;
        EXPECT_EQ(entries[i].status, 0u) << i;
        if (i > 0) {
            EXPECT_EQ(entries[i].handle, handle) << i;
        }
    }
    ASSERT_EQ(entries[4].dataLen, 1);
    EXPECT_EQ(entries[4].data[0], 0x36);
    EXPECT_EQ(entries[5].count, 285u);
    // The reply landed in the caller's buffer as the device sent it.
    EXPECT_EQ(std::memcmp(entries[5].data, frame, kStatusFrameSize), 0);
    EXPECT_EQ(sim.openHandles(), 0);
}

TEST_F(DeviceConnection, EachConfigurationFailureClosesTheHandleWithItsText)
{
    const struct {
        int op;
        const char *text;
    } cases[] = {
        {SIM_OP_SET_BAUD_RATE, "FT_SetBaudRate: Cant't set baud to 19200."},
        {SIM_OP_SET_DATA_CHARACTERISTICS, "FT_SetDataCharacteristics: Can't set 8 bit, 1 stop, no parity."},
        {SIM_OP_SET_TIMEOUTS, "FT_SetTimeouts: Can't set a 3 second timeout."},
    };
    for (const auto &c : cases) {
        sim.failNext(c.op, 0);
        void *handle = nullptr;
        const char *text = openConnection(0, &handle);
        ASSERT_NE(text, nullptr);
        EXPECT_STREQ(text, c.text);
        EXPECT_EQ(handle, nullptr) << c.text;
        EXPECT_EQ(sim.openHandles(), 0) << c.text;
        const SimCounts counts = sim.counts();
        EXPECT_EQ(counts.opensOk, counts.closesOk) << c.text;
        EXPECT_EQ(counts.badCloses, 0) << c.text;
    }
}

TEST_F(DeviceConnection, RefusedOpenLeavesTheVariableAloneAndClosesNothing)
{
    void *handle = reinterpret_cast<void *>(0x1234); // the library must not be told to close this
    EXPECT_STREQ(openConnection(5, &handle), "FT_OpenEx: Can't open requested device.");
    EXPECT_EQ(handle, reinterpret_cast<void *>(0x1234));

    handle = nullptr;
    sim.failNext(SIM_OP_OPEN, 0);
    EXPECT_STREQ(openConnection(0, &handle), "FT_OpenEx: Can't open requested device.");
    EXPECT_EQ(handle, nullptr);
    EXPECT_EQ(sim.counts().calls[SIM_OP_CLOSE], 0);
    EXPECT_STREQ(openConnection(0, nullptr), "FT_OpenEx: Can't open requested device.");
}

TEST_F(DeviceConnection, ExchangeFailuresKeepTheHandleOpenAndTheSpeedTable)
{
    const struct {
        const char *what;
        void (*inject)(SimControl &);
        const char *text;
        bool readAttempted;
    } cases[] = {
        {"write error", [](SimControl &s) { s.failNext(SIM_OP_WRITE, 0); }, "FT_Write: Can't send SER_Request command.",
         false},
        {"nothing written", [](SimControl &s) { s.shortWrite(0, 1); }, "FT_Write: Can't send SER_Request command.",
         false},
        {"read error", [](SimControl &s) { s.failNext(SIM_OP_READ, 0); }, "FT_Read: Can't read data from VORN.", true},
        {"short read", [](SimControl &s) { s.shortRead(284, 1); }, "FT_Read: Didn't get all the data.", true},
    };
    // A first good read sets the table; failed reads must leave it.
    void *handle = nullptr;
    ASSERT_EQ(openConnection(0, &handle), nullptr);
    uint8_t frame[kStatusFrameSize];
    ASSERT_EQ(readFromVorn(handle, frame), nullptr);
    ftClose(handle);
    const std::string maxRpm = meter("GetFanMaxRPM", "0");
    EXPECT_EQ(maxRpm, "2100");

    sim.setFanMaxSpeed(0, 0, 300); // the next frame would say 3150
    for (const auto &c : cases) {
        handle = nullptr;
        ASSERT_EQ(openConnection(0, &handle), nullptr) << c.what;
        sim.logClear();
        const int closesBefore = sim.counts().calls[SIM_OP_CLOSE];
        c.inject(sim);
        EXPECT_STREQ(readFromVorn(handle, frame), c.text) << c.what;
        EXPECT_EQ(sim.openHandles(), 1) << c.what;
        EXPECT_EQ(sim.counts().calls[SIM_OP_CLOSE], closesBefore) << c.what;
        bool read = false;
        for (const SimLogEntry &e : log())
            read = read || e.op == SIM_OP_READ;
        EXPECT_EQ(read, c.readAttempted) << c.what;
        EXPECT_EQ(meter("GetFanMaxRPM", "0"), maxRpm) << c.what;
        ftClose(handle);
    }
    EXPECT_EQ(sim.openHandles(), 0);
}

TEST_F(DeviceConnection, CompleteReadRederivesTheSpeedsAndFeedsTheMeters)
{
    const uint8_t raw[] = {0xBE, 0x00, 0xBF, 0x00, 0x90, 0x01, 0xFF, 0xFF};
    for (int i = 0; i < 8; ++i)
        sim.setFrameByte(0, kMaxRpmRawOffset + i, raw[i]);
    sim.setTemperature(0, 2, 0x3D);
    sim.setFanDuty(0, 1, 70);
    void *handle = nullptr;
    ASSERT_EQ(openConnection(0, &handle), nullptr);
    uint8_t frame[kStatusFrameSize];
    ASSERT_EQ(readFromVorn(handle, frame), nullptr);
    ftClose(handle);
    EXPECT_EQ(meter("GetFanMaxRPM", "0"), "1995");
    EXPECT_EQ(meter("GetFanMaxRPM", "1"), "2005");
    EXPECT_EQ(meter("GetFanMaxRPM", "2"), "4200");
    EXPECT_EQ(meter("GetFanMaxRPM", "3"), "-10");
    EXPECT_EQ(meter("GetDigitalTemp", "2"), "30.5");
    EXPECT_EQ(meter("GetFanPercentage", "1"), "70");
    EXPECT_EQ(meter("GetFanRPM", "1"), "1403"); // 70 % of 2005.5 truncated to 2005
    EXPECT_EQ(meter("GetValue", "1"), std::to_string(static_cast<int8_t>(simFillerByte(0))));
}

TEST_F(DeviceConnection, HostDiagnosticReadsAndDecodesAFrame)
{
    // vornhost runs in its own process, with a simulator in its default state.
    ProgramRun run = runProgram("vornhost.exe read-device 0");
    EXPECT_EQ(run.exitCode, 0) << run.output;
    for (const char *text :
         {"Digital temperatures", "Analog temperatures", "Duty %", "Maximum RPM", "2100", "Manual mode"})
        EXPECT_NE(run.output.find(text), std::string::npos) << text << "\n" << run.output;

    run = runProgram("vornhost.exe read-device 6");
    EXPECT_EQ(run.exitCode, 1) << run.output;
    EXPECT_NE(run.output.find("FT_OpenEx: Can't open requested device."), std::string::npos) << run.output;
}
