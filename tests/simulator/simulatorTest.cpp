// Tests of the simulated fan controller (our FTD2XX.dll). Every other test of
// the plug-in trusts this model, so these pin down what would mislead them:
// the frame encoding, the duty command, handle and configuration refusals,
// fault and short-I/O injection, held reads, the log and the counts.
//
// The bridge operations are resolved by ordinal, the way the plug-in imports
// them; the control functions by name through SimControl.

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "bridge/d2xx.h"
#include "bridge/d2xxList.h"
#include "simControl.h"
#include "tests/simulator/bridgeByOrdinal.h"

namespace {

using Clock = std::chrono::steady_clock;

long msSince(Clock::time_point t0)
{
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t0).count());
}

class Simulator : public ::testing::Test {
protected:
    static HMODULE dll;

    void SetUp() override
    {
        if (!dll)
            dll = LoadLibraryA("FTD2XX.dll");
        ASSERT_NE(dll, nullptr) << "FTD2XX.dll not found next to the test";
        ASSERT_TRUE(sim.load(dll)) << "missing export " << sim.missing;
        ASSERT_TRUE(ft.load(dll)) << "bridge operations missing";
        sim.reset();
        sim.freezeDrift(1);
        sim.setReadWaitCap(200);
    }

    void TearDown() override
    {
        if (sim.reset)
            sim.reset();
    }

    // Open and configure device n as the plug-in does.
    FT_HANDLE openConfigured(int n = 0)
    {
        FT_HANDLE h = nullptr;
        EXPECT_EQ(ft.open(n, &h), 0u);
        EXPECT_EQ(ft.setBaudRate(h, 19200), 0u);
        EXPECT_EQ(ft.setDataCharacteristics(h, 8, 0, 0), 0u);
        EXPECT_EQ(ft.setTimeouts(h, 3000, 0), 0u);
        return h;
    }

    // Status request on an open, configured handle; returns the bytes read.
    std::vector<unsigned char> request(FT_HANDLE h, DWORD toRead = SIM_FRAME_SIZE)
    {
        unsigned char req = SIM_REQUEST_STATUS;
        DWORD w = 99;
        EXPECT_EQ(ft.write(h, &req, 1, &w), 0u);
        EXPECT_EQ(w, 1u);
        std::vector<unsigned char> buf(toRead + 16, 0);
        DWORD got = 0;
        EXPECT_EQ(ft.read(h, buf.data(), toRead, &got), 0u);
        buf.resize(got);
        return buf;
    }

    // One whole exchange on device n.
    std::vector<unsigned char> exchange(int n = 0)
    {
        FT_HANDLE h = openConfigured(n);
        auto frame = request(h);
        EXPECT_EQ(ft.close(h), 0u);
        return frame;
    }

    void setDuty(int fan, int percent, int device = 0)
    {
        FT_HANDLE h = openConfigured(device);
        unsigned char cmd[2] = {static_cast<unsigned char>(SIM_CMD_SET_DUTY + fan),
                                static_cast<unsigned char>(percent)};
        DWORD w = 0;
        EXPECT_EQ(ft.write(h, cmd, 2, &w), 0u);
        EXPECT_EQ(w, 2u);
        EXPECT_EQ(ft.close(h), 0u);
    }

    SimLogEntry entry(int i)
    {
        SimLogEntry e{};
        EXPECT_EQ(sim.logGet(i, &e), 1) << "log entry " << i;
        return e;
    }

    SimControl sim;
    Bridge ft;
};
HMODULE Simulator::dll = nullptr;

FT_HANDLE bogusHandle()
{
    return reinterpret_cast<FT_HANDLE>(static_cast<uintptr_t>(0x1234));
}

// ---------------------------------------------------------------------------

TEST_F(Simulator, BridgeOperationsSitAtTheirOrdinalsAndNames)
{
    const std::pair<int, const char *> exports[] = {{1, "FT_Open"},        {2, "FT_Close"},
                                                    {3, "FT_Read"},        {4, "FT_Write"},
                                                    {7, "FT_SetBaudRate"}, {8, "FT_SetDataCharacteristics"},
                                                    {17, "FT_SetTimeouts"}};
    for (const auto &e : exports) {
        FARPROC byName = GetProcAddress(dll, e.second);
        ASSERT_NE(byName, nullptr) << e.second;
        EXPECT_EQ(GetProcAddress(dll, MAKEINTRESOURCEA(e.first)), byName) << e.second;
    }
}

TEST_F(Simulator, FrameEncodesStateAtItsOffsets)
{
    const int manual[4] = {1, 0, -2, 127};
    const int percent[4] = {0, 35, 100, 51}; // reported as 0, 17, 50, 25
    const int word[4] = {200, -2, 32767, -32768};
    for (int f = 0; f < 4; ++f) {
        ASSERT_EQ(sim.setFanManual(0, f, manual[f]), 0);
        ASSERT_EQ(sim.setFanDuty(0, f, percent[f]), 0);
        ASSERT_EQ(sim.setFanMaxSpeed(0, f, word[f]), 0);
    }
    for (int t = 0; t < SIM_TEMPS; ++t)
        ASSERT_EQ(sim.setTemperature(0, t, 0x3D + 3 * t - 20), 0);
    ASSERT_EQ(sim.setTemperature(0, 0, 0x3D), 0); // 30.5 degrees
    ASSERT_EQ(sim.setTemperature(0, 13, -7), 0);  // -3.5 degrees, last analog

    unsigned char expected[SIM_FRAME_SIZE];
    for (int k = 0; k < SIM_FRAME_SIZE; ++k)
        expected[k] = static_cast<unsigned char>(0x80 | (k & 0x7F));
    const unsigned char duty[4] = {0, 17, 50, 25};
    for (int f = 0; f < 4; ++f) {
        expected[101 + f] = static_cast<unsigned char>(manual[f]);
        expected[137 + f] = duty[f];
        expected[148 + 2 * f] = static_cast<unsigned char>(word[f] & 0xFF);
        expected[149 + 2 * f] = static_cast<unsigned char>((word[f] >> 8) & 0xFF);
    }
    for (int t = 0; t < SIM_TEMPS; ++t)
        expected[238 + t] = static_cast<unsigned char>(0x3D + 3 * t - 20);
    expected[238] = 0x3D;
    expected[251] = static_cast<unsigned char>(-7);

    auto frame = exchange();
    ASSERT_EQ(frame.size(), static_cast<size_t>(SIM_FRAME_SIZE));
    for (int k = 0; k < SIM_FRAME_SIZE; ++k)
        EXPECT_EQ(frame[k], expected[k]) << "byte " << k;
    EXPECT_EQ(frame[150], 0xFE); // -2, little-endian
    EXPECT_EQ(frame[151], 0xFF);

    unsigned char peek[SIM_FRAME_SIZE];
    ASSERT_EQ(sim.getFrame(0, peek), 0);
    EXPECT_EQ(0, memcmp(peek, expected, SIM_FRAME_SIZE));

    // An override wins over the state and goes away again.
    ASSERT_EQ(sim.setFrameByte(0, 238, 0x80), 0);
    EXPECT_EQ(exchange()[238], 0x80);
    ASSERT_EQ(sim.setFrameByte(0, 238, -1), 0);
    EXPECT_EQ(exchange()[238], 0x3D);
}

TEST_F(Simulator, DefaultStateIsPlausibleWithAndWithoutDrift)
{
    for (int frozen = 1; frozen >= 0; --frozen) {
        sim.freezeDrift(frozen);
        auto f = exchange();
        ASSERT_EQ(f.size(), static_cast<size_t>(SIM_FRAME_SIZE));
        for (int i = 0; i < 4; ++i) {
            const int w = static_cast<short>(f[148 + 2 * i] | (f[149 + 2 * i] << 8));
            EXPECT_GE(w * 10.5, 1995.0) << "fan " << i;
            EXPECT_LE(w * 10.5, 2400.0) << "fan " << i;
            EXPECT_LE(f[137 + i], 50) << "fan " << i;
            EXPECT_LE(f[101 + i], 1) << "fan " << i;
        }
        std::set<int> levels;
        for (int t = 0; t < SIM_TEMPS; ++t) {
            const double c = static_cast<signed char>(f[238 + t]) / 2.0;
            EXPECT_GE(c, 24.5) << "sensor " << t;
            EXPECT_LE(c, 45.0) << "sensor " << t;
            levels.insert(f[238 + t]);
        }
        EXPECT_GE(levels.size(), 10u) << "sensors should sit at different levels";
    }
}

TEST_F(Simulator, DutyCommandShowsInTheNextFrame)
{
    setDuty(3, 100);
    setDuty(1, 35);
    auto f = exchange();
    EXPECT_EQ(f[140], 50);
    EXPECT_EQ(f[138], 17);
    EXPECT_EQ(f[137], 20); // fan 0 untouched (default 40 %)

    // Unknown bytes and an impossible percent are logged and change nothing.
    FT_HANDLE h = openConfigured();
    unsigned char junk[3] = {0x99, 0x10, 0x15};
    unsigned char over[2] = {0x11, 101};
    DWORD w = 0;
    EXPECT_EQ(ft.write(h, junk, 3, &w), 0u);
    EXPECT_EQ(ft.write(h, over, 2, &w), 0u);
    const int n = sim.logCount();
    EXPECT_NE(entry(n - 2).flags & SIM_LOG_UNKNOWN_COMMAND, 0);
    EXPECT_NE(entry(n - 1).flags & SIM_LOG_BAD_DUTY, 0);
    EXPECT_EQ(sim.counts().unknownCommandBytes, 3);
    auto g = request(h);
    ft.close(h);
    EXPECT_EQ(0, memcmp(f.data(), g.data(), SIM_FRAME_SIZE));
}

TEST_F(Simulator, HandlesAreFreshAndUnknownOrClosedOnesAreRefused)
{
    FT_HANDLE a = openConfigured();
    // The device is open: a second open fails and leaves the variable alone.
    FT_HANDLE other = bogusHandle();
    EXPECT_NE(ft.open(0, &other), 0u);
    EXPECT_EQ(other, bogusHandle());
    EXPECT_EQ(ft.close(a), 0u);

    FT_HANDLE b = nullptr;
    ASSERT_EQ(ft.open(0, &b), 0u);
    EXPECT_NE(b, nullptr);
    EXPECT_NE(b, a);
    EXPECT_EQ(ft.close(b), 0u);

    // No device behind number 1.
    other = bogusHandle();
    EXPECT_EQ(ft.open(1, &other), 2u);
    EXPECT_EQ(other, bogusHandle());

    unsigned char buf[SIM_FRAME_SIZE];
    DWORD n = 77;
    for (FT_HANDLE h : {a, bogusHandle()}) {
        EXPECT_EQ(ft.setBaudRate(h, 19200), 1u);
        EXPECT_EQ(ft.setDataCharacteristics(h, 8, 0, 0), 1u);
        EXPECT_EQ(ft.setTimeouts(h, 3000, 0), 1u);
        EXPECT_EQ(ft.write(h, buf, 1, &n), 1u);
        EXPECT_EQ(ft.read(h, buf, SIM_FRAME_SIZE, &n), 1u);
        EXPECT_EQ(ft.close(h), 1u);
    }
    const SimCounts c = sim.counts();
    EXPECT_EQ(c.opensOk, 2);
    EXPECT_EQ(c.closesOk, 2);
    EXPECT_EQ(c.openHandles, 0);
    EXPECT_EQ(c.badHandleCalls, 12);
    EXPECT_EQ(c.badCloses, 2);
    EXPECT_EQ(c.failedCalls, 14);
}

TEST_F(Simulator, ReadNeedsTheLineSettingsAndWaitsOutTheTimeout)
{
    struct Case {
        const char *what;
        bool baud, data, timeouts;
        ULONG baudRate;
    } cases[] = {{"no baud rate", false, true, true, 19200},
                 {"wrong baud rate", true, true, true, 9600},
                 {"no data characteristics", true, false, true, 19200},
                 {"no time-outs", true, true, false, 19200}};
    for (const Case &k : cases) {
        FT_HANDLE h = nullptr;
        ASSERT_EQ(ft.open(0, &h), 0u);
        if (k.baud)
            ft.setBaudRate(h, k.baudRate);
        if (k.data)
            ft.setDataCharacteristics(h, 8, 0, 0);
        if (k.timeouts)
            ft.setTimeouts(h, 3000, 0);
        unsigned char req = SIM_REQUEST_STATUS, buf[SIM_FRAME_SIZE];
        DWORD w = 0, got = 5;
        EXPECT_EQ(ft.write(h, &req, 1, &w), 0u) << k.what;
        EXPECT_EQ(ft.read(h, buf, SIM_FRAME_SIZE, &got), 4u) << k.what;
        EXPECT_EQ(got, 0u) << k.what;
        ft.close(h);
    }
    EXPECT_EQ(sim.counts().unconfiguredReads, 4);
    EXPECT_EQ(sim.counts().repliesGenerated, 1) << "only the port with time-outs missing "
                                                   "had line settings the device understands";

    // Nothing requested: 0 bytes, status 0, after the read time-out.
    FT_HANDLE h = openConfigured();
    ASSERT_EQ(ft.setTimeouts(h, 150, 0), 0u);
    unsigned char buf[SIM_FRAME_SIZE];
    DWORD got = 5;
    const auto t0 = Clock::now();
    EXPECT_EQ(ft.read(h, buf, SIM_FRAME_SIZE, &got), 0u);
    EXPECT_EQ(got, 0u);
    EXPECT_GE(msSince(t0), 120);
    EXPECT_LT(msSince(t0), 1500);
    ft.close(h);
}

TEST_F(Simulator, InjectedFailuresOnceAlwaysAndNth)
{
    // Once: only the next open fails, without touching the handle variable.
    ASSERT_EQ(sim.failNext(SIM_OP_OPEN, 0), 0);
    FT_HANDLE h = bogusHandle();
    EXPECT_EQ(ft.open(0, &h), 2u);
    EXPECT_EQ(h, bogusHandle());
    h = openConfigured();

    // Always, with a chosen status, until cleared.
    ASSERT_EQ(sim.failAlways(SIM_OP_WRITE, 4), 0);
    unsigned char req = SIM_REQUEST_STATUS;
    DWORD w = 9;
    EXPECT_EQ(ft.write(h, &req, 1, &w), 4u);
    EXPECT_EQ(w, 0u);
    EXPECT_EQ(ft.write(h, &req, 1, &w), 4u);
    EXPECT_EQ(sim.counts().repliesGenerated, 0) << "a failed write must not reach the device";
    sim.clearFaults(SIM_OP_ALL);

    // The third read from now fails; the others do not.
    ASSERT_EQ(sim.failNth(SIM_OP_READ, 3, 0), 0);
    EXPECT_EQ(request(h).size(), static_cast<size_t>(SIM_FRAME_SIZE));
    EXPECT_EQ(request(h).size(), static_cast<size_t>(SIM_FRAME_SIZE));
    unsigned char buf[SIM_FRAME_SIZE];
    DWORD got = 9;
    ASSERT_EQ(ft.write(h, &req, 1, &w), 0u);
    EXPECT_EQ(ft.read(h, buf, SIM_FRAME_SIZE, &got), 4u);
    EXPECT_EQ(got, 0u);
    EXPECT_EQ(ft.read(h, buf, SIM_FRAME_SIZE, &got), 0u) << "the fault fires once";
    EXPECT_EQ(got, static_cast<DWORD>(SIM_FRAME_SIZE));

    EXPECT_EQ(ft.close(h), 0u);
    EXPECT_EQ(sim.counts().injectedFailures, 4);
}

TEST_F(Simulator, ShortWritesAndReadsReportTheChosenCounts)
{
    FT_HANDLE h = openConfigured();
    unsigned char req = SIM_REQUEST_STATUS, buf[SIM_FRAME_SIZE];
    DWORD w = 9, got = 0;

    sim.shortWrite(0, 1);
    EXPECT_EQ(ft.write(h, &req, 1, &w), 0u);
    EXPECT_EQ(w, 0u);
    EXPECT_EQ(ft.read(h, buf, SIM_FRAME_SIZE, &got), 0u);
    EXPECT_EQ(got, 0u) << "a request that never left must get no reply";

    sim.shortWrite(1, 1);
    unsigned char duty[2] = {SIM_CMD_SET_DUTY, 100};
    EXPECT_EQ(ft.write(h, duty, 2, &w), 0u);
    EXPECT_EQ(w, 1u);

    sim.shortRead(284, 1);
    auto f = request(h);
    EXPECT_EQ(f.size(), 284u);
    EXPECT_EQ(f[137], 20) << "half a duty command must not change the duty";
    EXPECT_EQ(sim.frameCount(), 0);
    // The byte left behind comes with the next read.
    EXPECT_EQ(ft.read(h, buf, SIM_FRAME_SIZE, &got), 0u);
    EXPECT_EQ(got, 1u);
    EXPECT_EQ(buf[0], simFillerByte(284));
    EXPECT_EQ(sim.frameCount(), 1);
    ft.close(h);
}

TEST_F(Simulator, LogRecordsATypicalExchange)
{
    FT_HANDLE h = openConfigured();
    auto f = request(h);
    ASSERT_EQ(ft.close(h), 0u);

    ASSERT_EQ(sim.logCount(), 7);
    const DWORD me = GetCurrentThreadId();
    const int ops[7] = {SIM_OP_OPEN,         SIM_OP_SET_BAUD_RATE, SIM_OP_SET_DATA_CHARACTERISTICS,
                        SIM_OP_SET_TIMEOUTS, SIM_OP_WRITE,         SIM_OP_READ,
                        SIM_OP_CLOSE};
    for (int i = 0; i < 7; ++i) {
        SimLogEntry e = entry(i);
        EXPECT_EQ(e.seq, i);
        EXPECT_EQ(e.op, ops[i]) << i;
        EXPECT_EQ(e.handle, h) << i;
        EXPECT_EQ(e.device, 0) << i;
        EXPECT_EQ(e.status, 0u) << i;
        EXPECT_EQ(e.threadId, me) << i;
        EXPECT_EQ(e.flags, 0) << i;
    }
    EXPECT_EQ(entry(1).args[0], 19200u);
    EXPECT_EQ(entry(2).args[0], 8u);
    EXPECT_EQ(entry(2).args[1], 0u);
    EXPECT_EQ(entry(3).args[0], 3000u);
    SimLogEntry w = entry(4), r = entry(5);
    EXPECT_EQ(w.count, 1u);
    ASSERT_EQ(w.dataLen, 1);
    EXPECT_EQ(w.data[0], SIM_REQUEST_STATUS);
    EXPECT_EQ(r.args[0], static_cast<unsigned long>(SIM_FRAME_SIZE));
    EXPECT_EQ(r.count, static_cast<unsigned long>(SIM_FRAME_SIZE));
    ASSERT_EQ(r.dataLen, SIM_FRAME_SIZE);
    EXPECT_EQ(0, memcmp(r.data, f.data(), SIM_FRAME_SIZE));

    const SimCounts c = sim.counts();
    EXPECT_EQ(c.opensOk, 1);
    EXPECT_EQ(c.closesOk, 1);
    EXPECT_EQ(c.openHandles, 0);
    EXPECT_EQ(c.failedCalls, 0);
    EXPECT_EQ(c.framesSent, 1);
    for (int op = 0; op < SIM_OP_COUNT; ++op)
        EXPECT_EQ(c.calls[op], 1) << op;

    SimLogEntry gone{};
    EXPECT_EQ(sim.logGet(7, &gone), 0);
    sim.logClear();
    EXPECT_EQ(sim.logCount(), 0);
}

TEST_F(Simulator, UnplugBreaksOpenHandlesAndReplugRestores)
{
    FT_HANDLE h = openConfigured();
    ASSERT_EQ(sim.unplug(0), 0);
    unsigned char req = SIM_REQUEST_STATUS, buf[SIM_FRAME_SIZE];
    DWORD n = 0;
    EXPECT_EQ(ft.write(h, &req, 1, &n), 4u);
    EXPECT_EQ(ft.read(h, buf, SIM_FRAME_SIZE, &n), 4u);
    FT_HANDLE h2 = bogusHandle();
    EXPECT_EQ(ft.open(0, &h2), 2u);
    EXPECT_EQ(h2, bogusHandle());
    EXPECT_EQ(ft.close(h), 4u);
    EXPECT_EQ(ft.close(h), 1u) << "the close released the stale handle";
    EXPECT_EQ(sim.openHandles(), 0);

    ASSERT_EQ(sim.plug(0), 0);
    EXPECT_EQ(exchange().size(), static_cast<size_t>(SIM_FRAME_SIZE));

    // A stale handle does not keep the device busy after a replug.
    h = openConfigured();
    sim.unplug(0);
    sim.plug(0);
    FT_HANDLE fresh = openConfigured();
    EXPECT_EQ(request(fresh).size(), static_cast<size_t>(SIM_FRAME_SIZE));
    EXPECT_EQ(ft.close(fresh), 0u);
    EXPECT_EQ(ft.close(h), 4u);
    EXPECT_EQ(sim.counts().unpluggedCalls, 4);
}

TEST_F(Simulator, ReadsCanBeDelayedAndHeldAtTheGate)
{
    FT_HANDLE h = openConfigured();
    sim.readDelay(200, 1);
    auto t0 = Clock::now();
    EXPECT_EQ(request(h).size(), static_cast<size_t>(SIM_FRAME_SIZE));
    EXPECT_GE(msSince(t0), 180);
    EXPECT_NE(entry(sim.logCount() - 1).flags & SIM_LOG_DELAYED, 0);
    sim.logClear();
    t0 = Clock::now();
    EXPECT_EQ(request(h).size(), static_cast<size_t>(SIM_FRAME_SIZE));
    // The log tells; the generous time bound only catches a hang.
    EXPECT_EQ(entry(1).op, SIM_OP_READ);
    EXPECT_EQ(entry(1).flags & SIM_LOG_DELAYED, 0) << "the delay applied to one read only";
    EXPECT_LT(msSince(t0), 1000);

    // A held read returns only when released; calls other than reads go on
    // meanwhile (the gate holds every read, whatever the device).
    sim.gateClose();
    std::atomic<bool> done{false};
    size_t got = 0;
    std::thread reader([&] {
        got = request(h).size();
        done = true;
    });
    for (int i = 0; i < 200 && sim.gateWaiting() == 0; ++i)
        Sleep(10);
    EXPECT_EQ(sim.gateWaiting(), 1);
    sim.plug(1);
    setDuty(0, 100, 1);
    unsigned char peek[SIM_FRAME_SIZE];
    EXPECT_EQ(sim.getFrame(1, peek), 0);
    EXPECT_EQ(peek[137], 50);
    Sleep(50);
    EXPECT_FALSE(done);
    sim.gateOpen();
    reader.join();
    EXPECT_EQ(got, static_cast<size_t>(SIM_FRAME_SIZE));

    // Any operation can be held as it enters, once: here the baud rate.
    ASSERT_EQ(sim.holdCall(SIM_OP_SET_BAUD_RATE, 800, 1), 0);
    t0 = Clock::now();
    FT_HANDLE held = openConfigured(1);
    EXPECT_GE(msSince(t0), 780);
    EXPECT_EQ(ft.close(held), 0u);
    t0 = Clock::now();
    held = openConfigured(1);
    EXPECT_LT(msSince(t0), 700) << "the hold applied to one call only";
    EXPECT_EQ(ft.close(held), 0u);
    EXPECT_EQ(sim.holdCall(SIM_OP_COUNT, 200, 1), -1);

    // The gate limit lets a forgotten read through.
    sim.setGateLimit(100);
    sim.gateClose();
    t0 = Clock::now();
    EXPECT_EQ(request(h).size(), static_cast<size_t>(SIM_FRAME_SIZE));
    EXPECT_LT(msSince(t0), 2000);
    EXPECT_NE(entry(sim.logCount() - 1).flags & SIM_LOG_GATE_LIMIT, 0);
    ft.close(h);
}

// A read, or a close, that runs a helper thread first: the thread lives
// inside the DLL while the call waits for it, and only the chosen number of
// calls of that operation do so.
TEST_F(Simulator, CallsCanRunAndJoinAHelperThread)
{
    for (const int op : {SIM_OP_READ, SIM_OP_CLOSE}) {
        SCOPED_TRACE(op == SIM_OP_READ ? "read" : "close");
        FT_HANDLE h = openConfigured();
        ASSERT_EQ(sim.helperThread(op, 300, 1), 0);
        std::atomic<int> seenRunning{0};
        std::thread watcher([&] {
            for (int i = 0; i < 100 && seenRunning == 0; ++i) {
                seenRunning = sim.helperThreadsRunning();
                Sleep(5);
            }
        });
        const auto t0 = Clock::now();
        if (op == SIM_OP_READ)
            EXPECT_EQ(request(h).size(), static_cast<size_t>(SIM_FRAME_SIZE));
        else
            EXPECT_EQ(ft.close(h), 0u);
        EXPECT_GE(msSince(t0), 280) << "the call waited for its helper";
        watcher.join();
        EXPECT_EQ(seenRunning, 1);
        EXPECT_EQ(sim.helperThreadsRunning(), 0) << "joined before the call returned";
        const SimLogEntry helped = entry(sim.logCount() - 1);
        EXPECT_EQ(helped.op, op);
        EXPECT_NE(helped.flags & SIM_LOG_HELPER_THREAD, 0);

        if (op == SIM_OP_READ) {
            EXPECT_EQ(request(h).size(), static_cast<size_t>(SIM_FRAME_SIZE));
            EXPECT_EQ(entry(sim.logCount() - 1).flags & SIM_LOG_HELPER_THREAD, 0) << "one read only";
            ft.close(h);
        }
    }
    EXPECT_EQ(sim.helperThread(SIM_OP_COUNT, 300, 1), -1);
}

TEST_F(Simulator, GeneratorFramesStayWholeUnderConcurrentExchanges)
{
    sim.setFrameGenerator(1);
    sim.plug(1);
    sim.setFrameByte(1, 0, 0); // overrides still apply on top
    std::vector<std::vector<unsigned char>> frames[2];
    auto worker = [&](int device) {
        for (int i = 0; i < 40; ++i)
            frames[device].push_back(exchange(device));
    };
    std::thread a(worker, 0), b(worker, 1);
    a.join();
    b.join();

    std::set<int> seen;
    for (int d = 0; d < 2; ++d) {
        for (const auto &f : frames[d]) {
            ASSERT_EQ(f.size(), static_cast<size_t>(SIM_FRAME_SIZE));
            const unsigned char v = f[1];
            for (int k = 1; k < SIM_FRAME_SIZE; ++k)
                ASSERT_EQ(f[k], v) << "mixed reply at byte " << k;
            EXPECT_EQ(f[0], d == 1 ? 0 : v);
            seen.insert(v);
        }
    }
    EXPECT_EQ(seen.size(), 80u) << "every reply number is used once";
    EXPECT_EQ(*seen.begin(), simGeneratorByte(1));
    EXPECT_EQ(*seen.rbegin(), simGeneratorByte(80));
    EXPECT_EQ(sim.frameCount(), 80);
}

TEST_F(Simulator, PacingTakesTheWireTime)
{
    sim.setPacing(1);
    EXPECT_EQ(sim.getPacing(), 1);
    const auto t0 = Clock::now();
    EXPECT_EQ(exchange().size(), static_cast<size_t>(SIM_FRAME_SIZE));
    EXPECT_GE(msSince(t0), 140); // 286 bytes x 10 bits at 19200 baud
    sim.reset();
    EXPECT_EQ(sim.getPacing(), 0);
}

// ---------------------------------------------------------------------------
// Shared mode. This process loaded its FTD2XX.dll without VORNSIM_SHARED; the
// controllers under test are those of simpeer.exe processes it starts, which
// talk to them through the bridge operations (steps: see simPeer.cpp).

// A named event for the peers to pace each other; the name is unique to this
// test process.
struct Event {
    std::string name;
    HANDLE handle;
    Event()
    {
        static int next = 0;
        name = "VornSimPeer-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++next);
        handle = CreateEventA(nullptr, TRUE, FALSE, name.c_str());
    }
    ~Event()
    {
        if (handle)
            CloseHandle(handle);
    }
    Event(const Event &) = delete;
    Event &operator=(const Event &) = delete;
};

// Environment variables for a peer: name and value (empty: not set).
using Variables = std::vector<std::pair<std::string, std::string>>;

// One simpeer.exe run, with VORNSIM_SHARED=1 or without the variable, and
// with `variables`; its stderr goes to `errors` when given.
class Peer {
public:
    Peer(bool shared, const std::string &steps, Variables variables = {}, HANDLE errors = nullptr)
    {
        char self[MAX_PATH];
        const DWORD n = GetModuleFileNameA(nullptr, self, MAX_PATH);
        std::string exe(self, n);
        exe = exe.substr(0, exe.find_last_of("\\/") + 1) + "simpeer.exe";
        std::string line = "\"" + exe + "\" " + steps;

        // The peer inherits this process's environment and its output handles.
        variables.emplace_back("VORNSIM_SHARED", shared ? "1" : "");
        Variables before;
        for (const auto &v : variables) {
            char value[1024] = {};
            const DWORD had = GetEnvironmentVariableA(v.first.c_str(), value, sizeof value);
            before.emplace_back(v.first, had > 0 && had < sizeof value ? value : "");
            SetEnvironmentVariableA(v.first.c_str(), v.second.empty() ? nullptr : v.second.c_str());
        }
        STARTUPINFOA si{};
        si.cb = sizeof si;
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        si.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
        si.hStdError = errors ? errors : GetStdHandle(STD_ERROR_HANDLE);
        PROCESS_INFORMATION pi{};
        if (CreateProcessA(exe.c_str(), &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) {
            process_ = pi.hProcess;
            CloseHandle(pi.hThread);
        }
        for (const auto &v : before)
            SetEnvironmentVariableA(v.first.c_str(), v.second.empty() ? nullptr : v.second.c_str());
    }

    ~Peer()
    {
        finish(0);
        if (process_)
            CloseHandle(process_);
    }
    Peer(const Peer &) = delete;
    Peer &operator=(const Peer &) = delete;

    bool started() const { return process_ != nullptr; }

    // Ends it at once, as a crash would: no close, no unload.
    void kill()
    {
        if (process_ && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT) {
            TerminateProcess(process_, 98);
            WaitForSingleObject(process_, 5000);
        }
    }

    // The exit code, or -1 if it did not end within `ms` (it is then stopped).
    int finish(DWORD ms = 20000)
    {
        if (!process_)
            return -1;
        if (WaitForSingleObject(process_, ms) != WAIT_OBJECT_0) {
            TerminateProcess(process_, 99);
            WaitForSingleObject(process_, 5000);
            return -1;
        }
        DWORD code = 0;
        GetExitCodeProcess(process_, &code);
        return static_cast<int>(code);
    }

private:
    HANDLE process_ = nullptr;
};

TEST(SimulatorSharedMode, DutyCommandsReachOtherProcessesOnlyWhenShared)
{
    {
        // The first peer starts the shared controllers at their defaults, sets
        // fan 3, plugs devices 1 to 3 and holds a handle on 3. The second sees
        // all that, sets fan 1 and unplugs 3; the first then sees fan 1 in its
        // next frame, its handle on 3 has gone stale and 3 can no longer be opened.
        Event ready, done;
        Peer first(true, "shared 1 expect 0 137 20 set 0 3 100 plug 1 plug 2 plug 3 hold 3 signal " + ready.name +
                             " wait " + done.name + " expect 0 138 17 held 4 open 3 2");
        Peer second(true, "shared 1 wait " + ready.name +
                              " expect 0 140 50 expect 2 140 15"
                              " set 0 1 35 unplug 3 signal " +
                              done.name);
        ASSERT_TRUE(first.started() && second.started()) << "simpeer.exe missing next to the test";
        EXPECT_EQ(second.finish(), 0);
        EXPECT_EQ(first.finish(), 0);
    }
    {
        // Without the variable each process has controllers of its own.
        Event ready, done;
        Peer first(false, "shared 0 set 0 3 100 plug 2 expect 0 140 50 signal " + ready.name + " wait " + done.name +
                              " expect 0 138 25");
        Peer second(false, "shared 0 wait " + ready.name + " expect 0 140 15 open 2 2 set 0 1 35 signal " + done.name);
        EXPECT_EQ(second.finish(), 0);
        EXPECT_EQ(first.finish(), 0);
    }
}

std::vector<signed char> readFile(const std::string &path)
{
    std::vector<signed char> bytes(SIM_FRAME_SIZE + 1);
    FILE *f = std::fopen(path.c_str(), "rb");
    if (!f)
        return {};
    bytes.resize(std::fread(bytes.data(), 1, bytes.size(), f));
    std::fclose(f);
    std::remove(path.c_str());
    return bytes;
}

TEST(SimulatorSharedMode, TemperaturesDriftAlikeInEveryProcess)
{
    // The second peer loads 3 s after the first and reads a frame between two
    // of the first's. Each sensor moves along a slow sine, so its reading must
    // lie between the first's two readings; a drift clock of its own would put
    // it 3 s behind.
    char dir[MAX_PATH];
    const DWORD n = GetTempPathA(MAX_PATH, dir);
    const std::string base = std::string(dir, n) + "vornsim-" + std::to_string(GetCurrentProcessId());
    const std::string path[3] = {base + "-1.bin", base + "-2.bin", base + "-3.bin"};
    Event ready, done;
    Peer first(true, "shared 1 sleep 3000 save 0 " + path[0] + " signal " + ready.name + " wait " + done.name +
                         " save 0 " + path[2]);
    ASSERT_TRUE(first.started());
    ASSERT_EQ(WaitForSingleObject(ready.handle, 15000), WAIT_OBJECT_0);
    Peer second(true, "shared 1 save 0 " + path[1] + " signal " + done.name);
    EXPECT_EQ(second.finish(), 0);
    EXPECT_EQ(first.finish(), 0);

    std::vector<signed char> f[3];
    for (int i = 0; i < 3; ++i) {
        f[i] = readFile(path[i]);
        ASSERT_EQ(f[i].size(), static_cast<size_t>(SIM_FRAME_SIZE)) << path[i];
    }
    for (int t = 0; t < SIM_TEMPS; ++t) {
        const int k = SIM_OFF_DIGITAL_TEMP + t;
        EXPECT_GE(f[1][k], std::min(f[0][k], f[2][k])) << "sensor " << t;
        EXPECT_LE(f[1][k], std::max(f[0][k], f[2][k])) << "sensor " << t;
    }
}

// The driver lets one program at a time have a device: an open in another
// process is refused until the holder closes it or ends, and the device list
// shows the device as open without its serial number there. The holder's own
// list shows it as open, with its serial number.
TEST(SimulatorSharedMode, AnOpenDeviceIsRefusedToOtherProcessesUntilReleased)
{
    {
        Event ready, done;
        Peer holder(true, "shared 1 hold 0 listed 0 1 VORN0000 signal " + ready.name + " wait " + done.name);
        Peer other(true, "shared 1 wait " + ready.name + " open 0 3 listed 0 1 - signal " + done.name);
        ASSERT_TRUE(holder.started() && other.started());
        EXPECT_EQ(other.finish(), 0);
        EXPECT_EQ(holder.finish(), 0);
    }
    {
        // A holder that is killed (no close, no unload) leaves the device
        // free, as Windows closes a dead program's handles.
        Event ready, never;
        Peer holder(true, "shared 1 hold 0 signal " + ready.name + " wait " + never.name);
        ASSERT_EQ(WaitForSingleObject(ready.handle, 15000), WAIT_OBJECT_0);
        Peer other(true, "shared 1 open 0 3 listed 0 1 -");
        EXPECT_EQ(other.finish(), 0);
        holder.kill();
        Peer after(true, "shared 1 listed 0 0 VORN0000 open 0 0 expect 0 137 20");
        EXPECT_EQ(after.finish(), 0);
    }
}

// ---------------------------------------------------------------------------
// The environment's scenario (VORNSIM_RAMP, VORNSIM_SILENT_AFTER), in peers
// started with it; offsets: digital sensor s at 238 + s, analog a at 246 + a.

// A ramp moves its sensor in a straight line from its start, at the peer's
// load, and then holds it; the sensor beside it keeps drifting around its own
// level (29 degrees, 53..63 half degrees), and a second ramp runs downwards.
TEST(SimulatorScenario, RampsMoveTheirSensorsInStraightLinesThenHold)
{
    Peer peer(false,
              "ramp 0 3 30 60 2 ramp 0 9 40 20.5 1 within 0 240 53 63 sleep 900"
              " ramp 0 3 30 60 2 ramp 0 9 40 20.5 1 sleep 1300"
              " expect 0 241 120 expect 0 247 41 within 0 240 53 63",
              {{"VORNSIM_RAMP", "digital3:30:60:2,analog1:40:20.5:1"}});
    ASSERT_TRUE(peer.started()) << "simpeer.exe missing next to the test";
    EXPECT_EQ(peer.finish(), 0);
}

// In shared mode the first process's scenario and clock hold for every
// process: one loaded a second later, with other ramps of its own, finds
// digital 3 half way up the first one's ramp from 0 to 60 degrees (not at 0,
// and not on its own ramp at 10).
TEST(SimulatorScenario, ALaterProcessJoinsTheFirstOnesRamp)
{
    Event ready, done;
    Peer first(true, "shared 1 ramp 0 3 0 60 2 sleep 1000 signal " + ready.name + " wait " + done.name,
               {{"VORNSIM_RAMP", "digital3:0:60:2"}});
    ASSERT_TRUE(first.started());
    ASSERT_EQ(WaitForSingleObject(ready.handle, 15000), WAIT_OBJECT_0);
    Peer later(true, "shared 1 within 0 241 60 120 signal " + done.name, {{"VORNSIM_RAMP", "digital3:10:10:60"}});
    EXPECT_EQ(later.finish(), 0);
    EXPECT_EQ(first.finish(), 0);
}

// After VORNSIM_SILENT_AFTER seconds the controller answers no status request:
// opens, line settings and writes (a duty command too) still succeed, and a
// read returns nothing once its time-out, capped by the read wait cap, has
// passed.
TEST(SimulatorScenario, TheControllerFallsSilentAfterItsTime)
{
    Peer peer(false, "answers 0 285 sleep 1100 answers 0 0 set 0 1 40 answers 0 0", {{"VORNSIM_SILENT_AFTER", "1"}});
    ASSERT_TRUE(peer.started());
    EXPECT_EQ(peer.finish(), 0);
}

// A malformed value is ignored as a whole, with one line on stderr naming the
// variable: digital 3 keeps drifting around its level (42 degrees, 78..90 half
// degrees) even where the list's first ramp was well formed, and the
// controller keeps answering.
TEST(SimulatorScenario, AMalformedValueIsIgnoredWithOneLine)
{
    const Variables malformed[] = {
        {{"VORNSIM_RAMP", "digital3:30:60:2,digital8:30:60:2"}, {"VORNSIM_SILENT_AFTER", "soon"}},
        {{"VORNSIM_RAMP", "digital3:30:60"}, {"VORNSIM_SILENT_AFTER", "-1"}},
        {{"VORNSIM_RAMP", "digital3:30:60:-2"}, {"VORNSIM_SILENT_AFTER", "1s"}},
        {{"VORNSIM_RAMP", "digital3:30:60:2,"}, {"VORNSIM_SILENT_AFTER", "0x"}},
    };
    char dir[MAX_PATH];
    const DWORD n = GetTempPathA(MAX_PATH, dir);
    const std::string path = std::string(dir, n) + "vornsim-errors-" + std::to_string(GetCurrentProcessId());
    for (const Variables &variables : malformed) {
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        HANDLE errors = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(errors, INVALID_HANDLE_VALUE);
        {
            Peer peer(false, "within 0 241 78 90 answers 0 285", variables, errors);
            EXPECT_EQ(peer.finish(), 0) << variables[0].second;
        }
        CloseHandle(errors);
        std::string text(4096, '\0');
        FILE *f = std::fopen(path.c_str(), "rb");
        ASSERT_NE(f, nullptr);
        text.resize(std::fread(&text[0], 1, text.size(), f));
        std::fclose(f);
        std::remove(path.c_str());
        for (const auto &v : variables) {
            const std::string said = v.first + "=" + v.second + " is malformed";
            const size_t at = text.find(said);
            EXPECT_NE(at, std::string::npos) << text;
            EXPECT_EQ(text.find(said, at + 1), std::string::npos) << "said twice: " << text;
        }
        EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2) << text;
    }
}

// Devices are numbered in position order among those plugged in: a device
// plugged in before the controller moves it up by one, and a foreign device
// takes the status request without ever answering.
TEST_F(Simulator, DeviceListNumbersPluggedDevicesAndShowsTheirIdentities)
{
    auto create = reinterpret_cast<FtCreateDeviceInfoListFn>(
        reinterpret_cast<void *>(GetProcAddress(dll, "FT_CreateDeviceInfoList")));
    auto get =
        reinterpret_cast<FtGetDeviceInfoListFn>(reinterpret_cast<void *>(GetProcAddress(dll, "FT_GetDeviceInfoList")));
    ASSERT_TRUE(create && get);
    auto list = [&] {
        DWORD count = 99;
        EXPECT_EQ(create(&count), 0u);
        std::vector<FT_DEVICE_LIST_INFO_NODE> nodes(count + 1);
        DWORD filled = 0;
        EXPECT_EQ(get(nodes.data(), &filled), 0u);
        EXPECT_EQ(filled, count);
        nodes.resize(filled);
        return nodes;
    };

    std::vector<FT_DEVICE_LIST_INFO_NODE> nodes = list();
    ASSERT_EQ(nodes.size(), 1u);
    EXPECT_STREQ(nodes[0].SerialNumber, "VORN0000");
    EXPECT_STREQ(nodes[0].Description, "Vorncontrol");
    EXPECT_EQ(nodes[0].LocId, 0x2111u);
    EXPECT_EQ(nodes[0].Flags, 0u);

    // A foreign device at position 0, the controller moved to position 2:
    // number 0 is the foreign one, number 1 the controller.
    ASSERT_EQ(sim.setDeviceKind(0, SIM_KIND_FOREIGN), 0);
    ASSERT_EQ(sim.setDeviceInfo(2, "CTRL-2", "Fan controller", 0x3301), 0);
    ASSERT_EQ(sim.plug(2), 0);
    EXPECT_EQ(sim.setDeviceInfo(2, "0123456789abcdef", "", 0), -1) << "16 characters leave no terminator";
    EXPECT_EQ(sim.setDeviceKind(SIM_MAX_DEVICES, SIM_KIND_FOREIGN), -1);
    FT_HANDLE held = openConfigured(1);
    nodes = list();
    ASSERT_EQ(nodes.size(), 2u);
    EXPECT_STREQ(nodes[0].SerialNumber, "FTX00000");
    EXPECT_STREQ(nodes[0].Description, "USB Serial Converter");
    EXPECT_STREQ(nodes[1].SerialNumber, "CTRL-2");
    EXPECT_EQ(nodes[1].Flags, static_cast<DWORD>(FT_FLAGS_OPENED));
    EXPECT_EQ(nodes[1].ftHandle, held);
    EXPECT_EQ(nodes[1].LocId, 0u) << "no location for an open device";
    EXPECT_EQ(request(held).size(), static_cast<size_t>(SIM_FRAME_SIZE)) << "number 1 is the controller";
    FT_HANDLE second = bogusHandle();
    EXPECT_EQ(ft.open(1, &second), 3u) << "a second handle in the same process";
    EXPECT_EQ(ft.close(held), 0u);
    EXPECT_EQ(list()[1].LocId, 0x3301u);

    FT_HANDLE foreign = openConfigured(0);
    EXPECT_TRUE(request(foreign).empty()) << "the foreign device never answers";
    EXPECT_EQ(ft.close(foreign), 0u);

    EXPECT_EQ(get(nullptr, nullptr), static_cast<FT_STATUS>(SIM_FT_INVALID_PARAMETER));
    EXPECT_EQ(create(nullptr), static_cast<FT_STATUS>(SIM_FT_INVALID_PARAMETER));
}

// A caller sizes its array from its own FT_CreateDeviceInfoList. Another
// thread taking a longer snapshot in between must not make FT_GetDeviceInfoList
// write past that array.
TEST_F(Simulator, DeviceListFillsNoMoreThanTheCallerCounted)
{
    auto create = reinterpret_cast<FtCreateDeviceInfoListFn>(
        reinterpret_cast<void *>(GetProcAddress(dll, "FT_CreateDeviceInfoList")));
    auto get =
        reinterpret_cast<FtGetDeviceInfoListFn>(reinterpret_cast<void *>(GetProcAddress(dll, "FT_GetDeviceInfoList")));
    ASSERT_TRUE(create && get);
    DWORD counted = 0;
    ASSERT_EQ(create(&counted), 0u);
    ASSERT_EQ(counted, 1u);
    std::thread([&] {
        DWORD more = 0;
        EXPECT_EQ(sim.plug(1), 0);
        EXPECT_EQ(create(&more), 0u);
        EXPECT_EQ(more, 2u);
    }).join();

    std::vector<FT_DEVICE_LIST_INFO_NODE> nodes(counted + 1);
    std::strcpy(nodes[counted].SerialNumber, "GUARD");
    DWORD filled = 99;
    EXPECT_EQ(get(nodes.data(), &filled), 0u);
    EXPECT_EQ(filled, counted);
    EXPECT_STREQ(nodes[0].SerialNumber, "VORN0000");
    EXPECT_STREQ(nodes[counted].SerialNumber, "GUARD") << "written past the caller's count";

    // A thread that took no snapshot itself gets the process's last one.
    std::thread([&] {
        std::vector<FT_DEVICE_LIST_INFO_NODE> all(3);
        DWORD got = 0;
        EXPECT_EQ(get(all.data(), &got), 0u);
        EXPECT_EQ(got, 2u);
    }).join();
}

} // namespace
