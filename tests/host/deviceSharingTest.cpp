// vornhost and the plug-in beside other programs on one controller. The real
// driver (and the simulator in shared mode) refuses a second open, so every
// program that uses the controller takes turns on one named lock: vornhost
// around each exchange of its own, the plug-in around each poll cycle and fan
// command. The other programs are simpeer.exe (taking turns or not) and
// further vornhost processes; a keeper simpeer keeps the shared controllers
// alive throughout.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>

#include "tests/support/processRunner.h"
#include "tests/support/registrySettings.h"
#include "tests/support/turnHolder.h"

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
    static int countOf(const std::string &text, const std::string &what)
    {
        int count = 0;
        for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
            ++count;
        return count;
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

TEST_F(SharedController, CommandsWaitTheirTurn)
{
    // Another program takes its turn and holds the device 1.5 s, as a poll
    // cycle of the plug-in in a desktop host does: each command waits for
    // the turn and gets through.
    seedSettings(0, 1);
    const struct {
        const char *command;
        const char *expected;
    } cases[] = {
        {"vornhost.exe read-device 0", "Device 0: status frame of 285 bytes"},
        {"vornhost.exe set-fan 1 60 --device 0", "sent"},
        {"vornhost.exe set-fan 3 80", "sent"}, // through the plug-in: its poll and its command wait
    };
    for (const auto &c : cases) {
        Event held;
        HANDLE holder = startPeer("shared 1 turn hold 0 signal " + held.name + " sleep 1500");
        ASSERT_TRUE(held.wait()) << c.command;
        const ProgramRun run = runProgram(c.command);
        EXPECT_EQ(run.exitCode, 0) << c.command << "\n" << run.output;
        EXPECT_NE(run.output.find(c.expected), std::string::npos) << c.command << "\n" << run.output;
        EXPECT_EQ(finish(holder), 0);
    }
    // Both duty commands arrived: 60 % and 80 % read back as 30 and 40.
    EXPECT_EQ(finish(startPeer("shared 1 expect 0 138 30 expect 0 140 40")), 0);
}

TEST_F(SharedController, ATurnKeptTooLongEndsInBusyNotAHang)
{
    Event held, release;
    HANDLE holder = startPeer("shared 1 turn signal " + held.name + " wait " + release.name);
    ASSERT_TRUE(held.wait());
    const DWORD start = GetTickCount();
    ProgramRun run = runProgram("vornhost.exe set-fan 0 50 --device 0");
    const DWORD waited = GetTickCount() - start;
    EXPECT_EQ(run.exitCode, 1) << run.output;
    EXPECT_NE(run.output.find("SetFanPercentage: Device busy, command not sent."), std::string::npos) << run.output;
    EXPECT_GE(waited, 4500u) << "gave up before its turn's bound";
    // An invalid command waits for no turn.
    run = runProgram("vornhost.exe set-fan 4 50 --device 0", 3000);
    EXPECT_NE(run.output.find("Invalid fan index"), std::string::npos) << run.output;
    SetEvent(release.handle);
    EXPECT_EQ(finish(holder), 0);
}

// Two pollers of one controller in two processes, on the same one-second
// rhythm and started 50 ms apart, as a desktop host beside vornhost watch:
// they take turns, so neither ever shows an error. The lock was created first
// by a more privileged program that grants the others waiting and releasing
// only (a task in session 0, an elevated host): both still take turns on it.
TEST_F(SharedController, TwoWatchesBesideARestrictedLockShowNoErrors)
{
    HANDLE restricted = createLockGrantingWaitAndReleaseOnly();
    ASSERT_NE(restricted, nullptr);
    seedSettings(0, 1);
    SetEnvironmentVariableA("VORNSIM_WIRE_PACING", "1");
    ProgramRun runs[2];
    std::thread first([&] { runs[0] = runProgram("vornhost.exe watch --json --count 20", 90000); });
    Sleep(50);
    std::thread second([&] { runs[1] = runProgram("vornhost.exe watch --json --count 20", 90000); });
    first.join();
    second.join();
    SetEnvironmentVariableA("VORNSIM_WIRE_PACING", nullptr);
    CloseHandle(restricted);
    for (const ProgramRun &run : runs) {
        EXPECT_EQ(run.exitCode, 0) << run.output;
        EXPECT_EQ(countOf(run.output, "\"error\":null"), 20) << run.output;
        EXPECT_EQ(run.output.find("global namespace"), std::string::npos) << run.output;
    }
}

// The same beside vornhost's own exchanges, made again and again meanwhile.
TEST_F(SharedController, AWatchBesideRepeatedExchangesAndARestrictedLockShowsNoErrors)
{
    HANDLE restricted = createLockGrantingWaitAndReleaseOnly();
    ASSERT_NE(restricted, nullptr);
    seedSettings(0, 1);
    SetEnvironmentVariableA("VORNSIM_WIRE_PACING", "1");
    std::atomic<bool> watching{true};
    ProgramRun watch;
    std::thread watcher([&] {
        watch = runProgram("vornhost.exe watch --json --count 20", 90000);
        watching = false;
    });
    const char *const commands[] = {"vornhost.exe read-device 0", "vornhost.exe set-fan 2 30 --device 0",
                                    "vornhost.exe read-device 0", "vornhost.exe set-fan 2 70 --device 0"};
    int exchanges = 0, failed = 0;
    std::string failures;
    for (; watching.load() && exchanges < 100; ++exchanges) {
        const char *command = commands[exchanges % 4];
        const ProgramRun run = runProgram(command);
        if (run.exitCode != 0) {
            ++failed;
            failures += std::string(command) + "\n" + run.output;
        }
    }
    watcher.join();
    SetEnvironmentVariableA("VORNSIM_WIRE_PACING", nullptr);
    CloseHandle(restricted);
    EXPECT_GE(exchanges, 8);
    EXPECT_EQ(failed, 0) << failures;
    EXPECT_EQ(watch.exitCode, 0) << watch.output;
    EXPECT_EQ(countOf(watch.output, "\"error\":null"), 20) << watch.output;
}

// Another kind of object holds the global name: vornhost says once that it
// takes turns with this session's programs only, and does so (here beside a
// holder of the session's lock).
TEST_F(SharedController, WithoutTheGlobalNameVornhostSaysSoOnceAndTakesTurnsInTheSession)
{
    HANDLE squatter = CreateEventA(nullptr, TRUE, FALSE, kControllerLockName);
    ASSERT_NE(squatter, nullptr);
    auto holder = std::make_unique<TurnHolder>(kControllerLockLocalName);
    ASSERT_TRUE(holder->held());
    ProgramRun run;
    std::atomic<bool> done{false};
    std::thread prober([&] {
        run = runProgram("vornhost.exe list-devices --probe");
        done = true;
    });
    Sleep(3000);
    EXPECT_FALSE(done.load()) << "did not wait for the session's lock\n" << run.output;
    holder.reset();
    prober.join();
    CloseHandle(squatter);
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(countOf(run.output, "taking turns with the programs of this session only"), 1) << run.output;
    EXPECT_NE(run.output.find("Controller found: device 0"), std::string::npos) << run.output;
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

// A program that does not take turns (the vendor's software) and keeps the
// device open: the driver refuses it to everyone else, and vornhost says so
// at once.
TEST_F(SharedController, ADeviceHeldByAProgramThatTakesNoTurnsIsInUse)
{
    Event held, release;
    HANDLE holder = startPeer("shared 1 hold 0 signal " + held.name + " wait " + release.name);
    ASSERT_TRUE(held.wait());

    ProgramRun run = runProgram("vornhost.exe list-devices --probe");
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_NE(run.output.find("0       -                -                                -         in use, not probed"),
              std::string::npos)
        << run.output;

    run = runProgram("vornhost.exe read-device 0", 3000);
    EXPECT_EQ(run.exitCode, 1) << run.output;
    EXPECT_NE(run.output.find("Device 0: FT_OpenEx: Can't open requested device."), std::string::npos) << run.output;

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
