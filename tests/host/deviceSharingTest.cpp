// vornhost while another program has the controller open. The real driver
// (and the simulator in shared mode) refuses a second open, so a vornhost
// command can collide with the host's poll cycle: it tries again for up to
// one cycle's length (5 s) and then reports the plug-in's own text; the list
// shows the device in use. The other program is simpeer.exe holding the
// device; a second simpeer keeps the shared controllers alive throughout (up to 60 s).
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "tests/support/processRunner.h"
#include "tests/support/registrySettings.h"

namespace {

// A named event, unique to this test process.
struct Event {
    std::string name;
    HANDLE handle;
    Event()
    {
        static int next = 0;
        name = "VornHostPeer-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++next);
        handle = CreateEventA(nullptr, TRUE, FALSE, name.c_str());
    }
    ~Event() { CloseHandle(handle); }
    bool wait() const { return WaitForSingleObject(handle, 15000) == WAIT_OBJECT_0; }
};

// Runs with VORNSIM_SHARED=1 in the environment, so that every program
// started here uses the same simulated controllers.
class SharedController : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetEnvironmentVariableA("VORNSIM_SHARED", "1");
        SetEnvironmentVariableA("VORNSIM_DEVICES", nullptr);
        keeper_ = startPeer("shared 1 wait " + end_.name + " wait " + end_.name);
        ASSERT_NE(keeper_, nullptr) << "simpeer.exe missing";
    }
    void TearDown() override
    {
        SetEvent(end_.handle);
        EXPECT_EQ(finish(keeper_), 0);
        SetEnvironmentVariableA("VORNSIM_SHARED", nullptr);
        clearSettings();
    }

    // simpeer.exe with the steps of simPeer.cpp; null if it did not start.
    static HANDLE startPeer(const std::string &steps)
    {
        std::string line = "simpeer.exe " + steps;
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process = {};
        if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
            return nullptr;
        CloseHandle(process.hThread);
        return process.hProcess;
    }
    // Its exit code, or -1 when it did not end within 20 s (it is stopped).
    static int finish(HANDLE process)
    {
        DWORD code = static_cast<DWORD>(-1);
        if (WaitForSingleObject(process, 20000) != WAIT_OBJECT_0)
            TerminateProcess(process, code);
        else
            GetExitCodeProcess(process, &code);
        CloseHandle(process);
        return static_cast<int>(code);
    }

    Event end_;
    HANDLE keeper_ = nullptr;
};

TEST_F(SharedController, CommandsWaitForAPollCycleToEnd)
{
    // A poll-like hold of 1.5 s: each command finds the device busy, tries
    // again and gets through once the holder closes.
    seedSettings(0, 1);
    const struct {
        const char *command;
        const char *expected;
    } cases[] = {
        {"vornhost.exe read-device 0", "Device 0: status frame of 285 bytes"},
        {"vornhost.exe set-fan 1 60 --device 0", "sent"},
        {"vornhost.exe set-fan 3 80", "sent"}, // through the plug-in, whose first poll collides
    };
    for (const auto &c : cases) {
        Event held;
        HANDLE holder = startPeer("shared 1 hold 0 signal " + held.name + " sleep 1500");
        ASSERT_TRUE(held.wait()) << c.command;
        const ProgramRun run = runProgram(c.command);
        EXPECT_EQ(run.exitCode, 0) << c.command << "\n" << run.output;
        EXPECT_NE(run.output.find(c.expected), std::string::npos) << c.command << "\n" << run.output;
        EXPECT_EQ(finish(holder), 0);
    }
    // Both duty commands arrived: 60 % and 80 % read back as 30 and 40.
    EXPECT_EQ(finish(startPeer("shared 1 expect 0 138 30 expect 0 140 40")), 0);
}

// Through the plug-in, the command goes to the stored device number, read by
// the plug-in's poller after it starts; until then the number is 0.
TEST_F(SharedController, SetFanThroughThePluginGoesToTheStoredDevice)
{
    // The peer that plugs device 1 in stays until the end: the shared
    // devices last only while some process has them.
    Event plugged, done;
    HANDLE plugger = startPeer("shared 1 plug 1 signal " + plugged.name + " wait " + done.name);
    ASSERT_TRUE(plugged.wait());
    seedSettings(1, 1);
    const ProgramRun run = runProgram("vornhost.exe set-fan 2 40");
    EXPECT_EQ(run.exitCode, 0) << run.output;
    // Fan 2 of device 1 at 40 % (20 in the frame); device 0's still at 100 %.
    EXPECT_EQ(finish(startPeer("shared 1 expect 1 139 20 expect 0 139 50")), 0);
    SetEvent(done.handle);
    EXPECT_EQ(finish(plugger), 0);
}

TEST_F(SharedController, ADeviceHeldLongerIsReportedInUse)
{
    Event held, release;
    HANDLE holder = startPeer("shared 1 hold 0 signal " + held.name + " wait " + release.name);
    ASSERT_TRUE(held.wait());

    ProgramRun run = runProgram("vornhost.exe list-devices --probe");
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_NE(run.output.find("0       -                -                                -         in use, not probed"),
              std::string::npos)
        << run.output;

    const DWORD start = GetTickCount();
    run = runProgram("vornhost.exe read-device 0");
    EXPECT_EQ(run.exitCode, 1) << run.output;
    EXPECT_NE(run.output.find("Device 0: FT_OpenEx: Can't open requested device."), std::string::npos) << run.output;
    EXPECT_GE(GetTickCount() - start, 4500u) << "gave up before one cycle's length";

    // A device in use hides its serial number from other programs.
    run = runProgram("vornhost.exe read-device --serial VORN0000");
    EXPECT_EQ(run.exitCode, 2) << run.output;
    EXPECT_NE(run.output.find("hides its serial number"), std::string::npos) << run.output;
    // That empty serial number is no name for it.
    run = runProgram("vornhost.exe read-device --serial \"\"");
    EXPECT_EQ(run.exitCode, 2) << run.output;
    EXPECT_NE(run.output.find("--serial needs a serial number"), std::string::npos) << run.output;

    SetEvent(release.handle);
    EXPECT_EQ(finish(holder), 0);
    run = runProgram("vornhost.exe read-device --serial VORN0000");
    EXPECT_EQ(run.exitCode, 0) << run.output;
}

} // namespace
