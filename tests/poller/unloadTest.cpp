#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>

#include "tests/poller/pollerFixture.h"
#include "tests/support/processRunner.h"
#include "tests/support/turnHolder.h"

namespace {

// Counts every call into the simulator from now on.
int totalCalls(const SimCounts &c)
{
    int total = 0;
    for (int op = 0; op < SIM_OP_COUNT; ++op)
        total += c.calls[op];
    return total;
}

} // namespace

// FreeLibrary while the simulator holds the poller inside a read: the cycle
// either finishes within the teardown's bound (and closes the device itself)
// or is cut off (and the teardown closes it). Either way the device is closed
// exactly once and no poller code runs after FreeLibrary returns.
TEST_F(PollerTest, UnloadDuringACycle)
{
    const struct {
        const char *what;
        int holdMs;
    } cases[] = {{"cycle ends during the unload", 1500}, {"cycle outlasts the unload's patience", 9000}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        sim.reset();
        sim.setGateLimit(c.holdMs);
        seedSettings(0, 1);
        start();
        sim.gateClose();
        // The request is out, so the cycle is in (or about to enter) its
        // read. A read cut off in an earlier case may still count as
        // waiting at the gate, so that count alone proves nothing.
        ASSERT_TRUE(waitUntil([&] { return sim.counts().calls[SIM_OP_WRITE] >= 1; }, 3000));
        Sleep(300);
        unload();
        // A cycle cut off inside the library has its handle closed on a
        // thread of its own running the library's FT_Close, once the unload is over.
        waitUntil([&] { return sim.counts().closesOk >= 1; }, 3000);
        const SimCounts after = sim.counts();
        EXPECT_EQ(after.openHandles, 0);
        EXPECT_EQ(after.opensOk, 1);
        EXPECT_EQ(after.closesOk, 1);
        EXPECT_EQ(after.badCloses, 0);
        sim.gateOpen();
        Sleep(300);
        EXPECT_EQ(totalCalls(sim.counts()), totalCalls(after))
            << "a call after FreeLibrary returned, beyond the cut-off cycle's close";
    }
}

TEST_F(PollerTest, UnloadAfterAnEarlyStop)
{
    for (int round = 0; round < 3; ++round) {
        start(); // no settings: the poller ends at once
        ASSERT_TRUE(waitUntil([&] { return meter("GetValue", "1") == "Can't open registry key."; }, 2000));
        unload();
    }
    EXPECT_EQ(sim.counts().calls[SIM_OP_OPEN], 0);
}

TEST_F(PollerTest, UnloadBetweenCyclesAndReloadStartsFresh)
{
    seedSettings(0, 1);
    for (int round = 0; round < 3; ++round) {
        start();
        ASSERT_TRUE(waitUntil([&] { return sim.frameCount() >= round + 1; }, 3000));
        unload();
    }
    const SimCounts counts = sim.counts();
    EXPECT_EQ(counts.opensOk, counts.closesOk);
    EXPECT_EQ(counts.openHandles, 0);
    EXPECT_EQ(counts.badCloses, 0);
}

// Process exit while the poller is inside a read: the system has stopped the
// poller mid-call, so the plug-in must not touch the bridge library at all
// (no FT_Close on that handle) and must wait for nothing. pluginpeer.exe
// makes that exit; the simulator's call trace outlives it.
TEST_F(PollerTest, ProcessExitInsideACycleCallsNothing)
{
    seedSettings(0, 1);
    char trace[MAX_PATH] = {};
    GetFullPathNameA("pluginpeer-exit-trace.txt", MAX_PATH, trace, nullptr);
    DeleteFileA(trace);
    const ProgramRun run = runProgram(std::string("pluginpeer.exe exit-in-read ") + trace, 30000);
    EXPECT_EQ(run.exitCode, 7) << run.output;

    std::ifstream file(trace);
    std::stringstream calls;
    calls << file.rdbuf();
    file.close();
    DeleteFileA(trace);
    EXPECT_EQ(calls.str(), "open\nbaud\ndata\ntimeouts\nwrite\nread\n")
        << "bridge calls, the last ones across the exit";
}

// FreeLibrary while the poller's read runs a thread inside the bridge
// library: the cycle is cut off at the unload's bound, and the library's
// thread goes on. The library must stay loaded (or that thread would run in
// unmapped code and crash the host), and a later load must work.
TEST_F(PollerTest, UnloadDuringAReadThatRunsALibraryThread)
{
    seedSettings(0, 1);
    const ProgramRun run = runProgram("pluginpeer.exe unload-in-helper-read", 90000);
    EXPECT_EQ(run.exitCode, 0) << run.output;
}

// The unload's exit for the poller, stretched where a split exit would let
// the poller back into the plug-in while the unload completes (see
// pluginPeer.cpp, exitRace). Every round must end without the poller ever
// returning into the plug-in.
TEST_F(PollerTest, TheQueuedExitNeverLetsThePollerBackIn)
{
    seedSettings(0, 1);
    const ProgramRun run = runProgram("pluginpeer.exe exit-race 200", 120000);
    EXPECT_EQ(run.exitCode, 0) << run.output;
}

// A cycle cut off inside a line setting: the device had opened a moment
// before, so the handle is already the cycle's, and the unload has it
// closed. Afterwards the device opens again.
TEST_F(PollerTest, UnloadInsideALineSettingClosesTheDevice)
{
    const struct {
        int held, before;
    } cases[] = {{SIM_OP_SET_BAUD_RATE, SIM_OP_OPEN}, {SIM_OP_SET_TIMEOUTS, SIM_OP_SET_DATA_CHARACTERISTICS}};
    for (const auto &c : cases) {
        SCOPED_TRACE(simOpName(c.held));
        sim.reset();
        seedSettings(0, 1);
        ASSERT_EQ(sim.holdCall(c.held, 9000, 1), 0);
        start();
        // The call before the held one is done: the cycle is in (or about to
        // enter) the held one.
        ASSERT_TRUE(waitUntil([&] { return sim.counts().calls[c.before] >= 1; }, 3000));
        Sleep(300);
        const DWORD unloadStart = GetTickCount();
        unload();
        EXPECT_LT(GetTickCount() - unloadStart, 8000u) << "FreeLibrary far past its bound";
        EXPECT_TRUE(waitUntil([&] { return sim.counts().closesOk >= 1; }, 3000));
        EXPECT_EQ(sim.counts().openHandles, 0) << "the cut-off cycle's device stayed open";
        EXPECT_EQ(sim.counts().opensOk, 1);

        start();
        EXPECT_TRUE(waitUntil([&] { return meter("GetFanMaxRPM", "0") == "2100"; }, 5000))
            << "after the unload the device did not open again: " << meter("GetFanMaxRPM", "0");
        unload();
    }
}

// Another program keeps the controller's lock: the plug-in's fan command
// waits its bound and says busy, the poller waits alertably meanwhile, and
// an unload ends it at once without touching the device.
TEST_F(PollerTest, AnotherProgramKeepingTheLockMeansBusyNeverAHang)
{
    seedSettings(0, 1);
    start();
    ASSERT_TRUE(waitUntil([&] { return sim.frameCount() >= 1; }, 3000));
    auto holder = std::make_unique<TurnHolder>();
    ASSERT_TRUE(holder->held());
    const int opensBefore = opens();

    char buffer[16];
    DWORD start = GetTickCount();
    const char *result = plugin->get<SetFanPercentageFn>("SetFanPercentage")(buffer, "0", "50");
    EXPECT_STREQ(result, "SetFanPercentage: Device busy, command not sent.");
    EXPECT_GE(GetTickCount() - start, 4500u);

    start = GetTickCount();
    unload();
    EXPECT_LT(GetTickCount() - start, 2000u) << "the unload waited for the lock";
    EXPECT_EQ(opens(), opensBefore) << "someone used the device while another program had its turn";
    holder.reset();
}

// The host unloads the plug-in while 40 of its threads wait for their turn to
// send a fan command (another program keeps the controller): every sender
// returns busy, none runs code in the unloaded module, and no handle stays
// open, in every one of 20 rounds (see pluginPeer.cpp).
TEST_F(PollerTest, AnUnloadLetsWaitingFanCommandsGo)
{
    seedSettings(0, 1);
    const ProgramRun run = runProgram("pluginpeer.exe unload-with-waiting-senders 20", 120000);
    EXPECT_EQ(run.exitCode, 0) << run.output;
}

// The host unloads while one of its threads is inside a call that waits: a
// 3-s read, the configuration dialog, a fan command whose bridge call joins
// a thread of the library's own (with FreeLibrary alone that join waits for
// the loader lock). The unload returns within 5.5 s, every call returns, none
// runs code in an unmapped module, and a module kept loaded starts afresh
// when it is loaded again (see pluginPeer.cpp).
TEST_F(PollerTest, AnUnloadNeverLeavesACallInAnUnmappedModule)
{
    const struct {
        const char *scenario;
        int refreshRate;
    } cases[] = {{"unload-in-read", 60}, {"unload-with-dialog", 1}, {"unload-in-helper-call", 60}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.scenario);
        seedSettings(0, c.refreshRate);
        const ProgramRun run = runProgram(std::string("pluginpeer.exe ") + c.scenario, 60000);
        EXPECT_EQ(run.exitCode, 0) << run.output;
        if (run.exitCode == 0)
            std::printf("%s", run.output.c_str()); // the times, for the log
    }
}
