#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "tests/poller/pollerFixture.h"
#include "tests/support/processRunner.h"

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
        for (int round = 0; round < 2; ++round) {
            SCOPED_TRACE(c.what);
            sim.reset();
            sim.setGateLimit(c.holdMs);
            seedSettings(0, 1);
            start();
            sim.gateClose();
            // The request is out, so the cycle is in (or about to enter) its
            // read. A read cut off in an earlier round may still count as
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
