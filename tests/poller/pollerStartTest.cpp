// The poller's start with the plug-in's objects linked in, so that the
// thread creation can be refused: dllstartup goes through this program's
// import of CreateThread; and a cycle that cannot get the device.
#include <gtest/gtest.h>

#include <string>

#include "controller/moduleLock.h"
#include "plugin/exports.h"
#include "poller/pollThread.h"
#include "poller/pollerLifecycle.h"
#include "state/moduleState.h"
#include "tests/support/importHook.h"
#include "tests/support/registrySettings.h"
#include "tests/support/simulatorSession.h"
#include "tests/support/turnHolder.h"

namespace {

HANDLE WINAPI refusingCreateThread(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE, LPVOID, DWORD, LPDWORD)
{
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
}

std::string meter(MeterFn function, const char *parameter)
{
    char buffer[32] = {};
    return function(buffer, parameter);
}

class PollerStartTest : public SimulatorSession {
protected:
    void SetUp() override
    {
        SimulatorSession::SetUp();
        clearSettings();
    }
    void TearDown() override
    {
        stopPoller(); // the unload's teardown; nothing unloads a linked-in plug-in
        clearSettings();
        SimulatorSession::TearDown();
    }
};

} // namespace

// A poller that cannot be started says so in every meter instead of showing
// the zero frame as readings. The next start tries again; its poller leaves
// the text in place until its first cycle stores that cycle's outcome.
TEST_F(PollerStartTest, APollerThatCannotStartSaysSoUntilALaterPollersFirstCycle)
{
    seedSettings(0, 1);
    {
        ImportHook hook("KERNEL32.dll", "CreateThread", reinterpret_cast<const void *>(refusingCreateThread));
        ASSERT_TRUE(hook.installed());
        dllshutdown(dllstartup(nullptr, 0));
    }
    EXPECT_EQ(pollThread.load(), nullptr);
    EXPECT_EQ(meter(GetDigitalTemp, "0"), "CreateThread: Can't start the poller.");
    EXPECT_EQ(meter(GetFanRPM, "0"), "CreateThread: Can't start the poller.");

    dllshutdown(dllstartup(nullptr, 0));
    EXPECT_NE(pollThread.load(), nullptr) << "the next start tries again";
    EXPECT_EQ(meter(GetValue, "1"), "CreateThread: Can't start the poller.") << "kept until the first cycle";
    ASSERT_TRUE(waitUntil([] { return meter(GetFanMaxRPM, "0") == "2100"; }, 5000)) << meter(GetFanMaxRPM, "0");
    EXPECT_EQ(sim.frameCount(), 1);
}

// Another program keeps the controller's lock past the cycle's bound (10 s):
// the cycle is skipped, and the meters say so instead of showing the last
// frame as if it were current.
TEST_F(PollerStartTest, ACycleThatCannotGetTheDeviceSaysSo)
{
    lastError.store(nullptr);
    ASSERT_TRUE(openModuleLock());
    {
        TurnHolder anotherProgram;
        ASSERT_TRUE(anotherProgram.held());
        runPollCycle();
    }
    EXPECT_EQ(meter(GetDigitalTemp, "0"), "Poll: Device busy, status not read.");
    EXPECT_EQ(sim.counts().calls[SIM_OP_OPEN], 0) << "the skipped cycle opened the device";
}
