#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "plugin/exports.h"
#include "tests/poller/pollerFixture.h"
#include "tests/support/windowWatcher.h"

TEST_F(PollerTest, FirstCycleComesOneIntervalAfterStartAndBringsLiveValues)
{
    seedSettings(0, 1);
    sim.setTemperature(0, 2, 0x3D);
    sim.setFanDuty(0, 1, 70);
    start();
    Sleep(700);
    EXPECT_EQ(opens(), 0) << "no device access during the first interval";
    EXPECT_EQ(meter("GetDigitalTemp", "2"), " 0.0");

    ASSERT_TRUE(waitUntil([&] { return sim.frameCount() >= 1; }, 3000));
    ASSERT_TRUE(waitUntil([&] { return meter("GetDigitalTemp", "2") == "30.5"; }, 1000));
    EXPECT_EQ(meter("GetFanPercentage", "1"), "70");
    EXPECT_EQ(meter("GetFanMaxRPM", "0"), "2100");

    // Cycles follow at the interval; each opens, configures, requests,
    // reads and closes once.
    ASSERT_TRUE(waitUntil([&] { return sim.frameCount() >= 3; }, 3500));
    const SimCounts counts = sim.counts();
    EXPECT_LE(counts.calls[SIM_OP_OPEN], 4);
    EXPECT_EQ(counts.calls[SIM_OP_OPEN] - counts.closesOk, sim.openHandles());
    EXPECT_LE(sim.openHandles(), 1);
}

TEST_F(PollerTest, MissingSettingsStopThePollerForGood)
{
    start(); // no key
    ASSERT_TRUE(waitUntil([&] { return meter("GetValue", "1") == "Can't open registry key."; }, 2000));
    // A range message still wins over the error text.
    EXPECT_EQ(meter("GetValue", "0"), "Invalid value index");

    seedSettings(0, 1);
    start(); // the early-stopped poller still holds its place: nothing starts
    Sleep(1500);
    EXPECT_EQ(opens(), 0);
    EXPECT_EQ(meter("GetFanRPM", "0"), "Can't open registry key.");
}

TEST_F(PollerTest, RecoversAfterUnplugAndReplug)
{
    seedSettings(0, 1);
    start();
    ASSERT_TRUE(waitUntil([&] { return sim.frameCount() >= 1; }, 3000));
    sim.unplug(0);
    ASSERT_TRUE(waitUntil([&] { return meter("GetFanRPM", "0") == "FT_OpenEx: Can't open requested device."; }, 3000));
    const int failedOpens = opens();
    ASSERT_TRUE(waitUntil([&] { return opens() >= failedOpens + 1; }, 3000)) << "the poller keeps trying";
    sim.plug(0);
    ASSERT_TRUE(waitUntil([&] { return meter("GetFanMaxRPM", "0") == "2100"; }, 3000));
    EXPECT_EQ(sim.openHandles(), 0);
}

TEST_F(PollerTest, FailedReadStillClosesTheDevice)
{
    seedSettings(0, 1);
    sim.failAlways(SIM_OP_READ, 0);
    start();
    ASSERT_TRUE(waitUntil([&] { return meter("GetAnalogTemp", "0") == "FT_Read: Can't read data from VORN."; }, 3000));
    ASSERT_TRUE(waitUntil([&] { return sim.openHandles() == 0; }, 1000));
    sim.clearFaults(SIM_OP_ALL);
    sim.shortRead(284, -1);
    ASSERT_TRUE(waitUntil([&] { return meter("GetAnalogTemp", "0") == "FT_Read: Didn't get all the data."; }, 3000));
    sim.shortRead(0, 0);
    ASSERT_TRUE(waitUntil([&] { return meter("GetAnalogTemp", "0") != "FT_Read: Didn't get all the data."; }, 3000));
    unload();
    const SimCounts counts = sim.counts();
    EXPECT_EQ(counts.opensOk, counts.closesOk);
    EXPECT_EQ(counts.badCloses, 0);
    EXPECT_EQ(counts.openHandles, 0);
}

TEST_F(PollerTest, SecondStartupStartsNoSecondPoller)
{
    seedSettings(0, 1);
    start();
    start();
    start();
    ASSERT_TRUE(waitUntil([&] { return sim.frameCount() >= 3; }, 5000));
    std::set<unsigned long> threads;
    for (const SimLogEntry &e : log())
        threads.insert(e.threadId);
    EXPECT_EQ(threads.size(), 1u) << describe(log());
    EXPECT_LE(opens(), 4) << "cycles come once per second, not three times";
}

TEST_F(PollerTest, IntervalsBelowOneSecondCountAsOne)
{
    for (DWORD stored : {0ul, 0xFFFFFFFBul /* -5 */, 0x80000000ul}) {
        SCOPED_TRACE(static_cast<long>(stored));
        sim.reset();
        seedSettings(0, stored);
        start();
        Sleep(2500);
        const int count = opens();
        // 0x80000000 is the most negative interval: clamped like the others.
        EXPECT_GE(count, 1);
        EXPECT_LE(count, 3) << "the poller must not hammer the device";
        unload();
    }
}

// The last dllshutdown drains the calls inside for the unload that follows;
// with none inside it changes nothing the host can see: the poller goes on,
// and a fan command still goes out.
TEST_F(PollerTest, ShutdownLeavesThePollerRunningAndFanCommandsGoingOut)
{
    seedSettings(0, 1);
    start();
    plugin->get<DllShutdownFn>("dllshutdown")(block);
    block = nullptr;
    ASSERT_TRUE(waitUntil([&] { return sim.frameCount() >= 2; }, 4000));
    char buffer[16];
    EXPECT_EQ(plugin->get<SetFanPercentageFn>("SetFanPercentage")(buffer, "1", "50"), nullptr);
}

// A host's window on a thread of its own that handles its messages, as a
// host's user-interface thread does: a box owned by it from another thread
// needs the owner's thread to answer.
class HostWindowThread {
public:
    HostWindowThread()
    {
        ready_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        thread_ = CreateThread(nullptr, 0, run, this, 0, &threadId_);
        WaitForSingleObject(ready_, 5000);
    }
    ~HostWindowThread()
    {
        PostThreadMessageA(threadId_, WM_QUIT, 0, 0);
        WaitForSingleObject(thread_, 5000);
        CloseHandle(thread_);
        CloseHandle(ready_);
    }
    HWND window() const { return window_; }

private:
    static DWORD WINAPI run(void *self)
    {
        auto *me = static_cast<HostWindowThread *>(self);
        me->window_ = CreateWindowExA(0, "STATIC", "host", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr, nullptr,
                                      GetModuleHandleA(nullptr), nullptr);
        SetEvent(me->ready_);
        MSG message;
        while (GetMessageA(&message, nullptr, 0, 0) > 0) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        DestroyWindow(me->window_);
        return 0;
    }

    HANDLE ready_ = nullptr;
    HANDLE thread_ = nullptr;
    DWORD threadId_ = 0;
    HWND window_ = nullptr;
};

// With a host window, missing settings also show the error box, owned by
// that window, on the poller's thread; the poller ends once it is closed.
TEST_F(PollerTest, MissingSettingsShowTheBoxOwnedByTheHostWindow)
{
    HostWindowThread host;
    ASSERT_NE(host.window(), nullptr);
    WindowWatcher watcher({{WindowMatch::titled("Error"), dismissWindow}});
    start(host.window());
    const auto &seen = watcher.finish();
    ASSERT_TRUE(watcher.completed()) << watcher.failure();
    EXPECT_EQ(seen[0].owner, host.window());
    EXPECT_NE(seen[0].threadId, GetCurrentThreadId()) << "the box belongs to the poller's thread";
    EXPECT_EQ(seen[0].text().rfind("RegOpenKeyEx failed with error 2\n", 0), 0u) << seen[0].text();
    EXPECT_EQ(seen[0].buttons(), std::vector<std::string>{"OK"});
    EXPECT_FALSE(seen[0].hasIcon());
    EXPECT_EQ(meter("GetFanRPM", "0"), "Can't open registry key.");
    unload();
}

namespace {

BOOL CALLBACK collectDialog(HWND window, LPARAM found)
{
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    char className[16] = {};
    if (process == GetCurrentProcessId() && GetClassNameA(window, className, sizeof className) > 0 &&
        std::string(className) == "#32770")
        reinterpret_cast<std::vector<HWND> *>(found)->push_back(window);
    return TRUE;
}

// Every dialog window of this process, shown or not.
std::vector<HWND> dialogsOfThisProcess()
{
    std::vector<HWND> found;
    EnumWindows(collectDialog, reinterpret_cast<LPARAM>(&found));
    return found;
}

// Waits for a condition while answering this thread's messages.
bool pumpUntil(const std::function<bool()> &condition, DWORD timeoutMs)
{
    const DWORD start = GetTickCount();
    for (;;) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&message);
        if (condition())
            return true;
        if (GetTickCount() - start > timeoutMs)
            return false;
        Sleep(10);
    }
}

} // namespace

// The host unloads the plug-in while the poller's settings box is open: the
// box ends (it must not stay on the screen) and the host's window it
// disabled is enabled again. The host's window either belongs to the thread
// that unloads (the usual host) or to another thread of the host.
TEST_F(PollerTest, UnloadWhileTheSettingsBoxIsOpen)
{
    for (const bool windowOnUnloadingThread : {true, false}) {
        SCOPED_TRACE(windowOnUnloadingThread ? "host window on the unloading thread" : "host window on its own thread");
        std::unique_ptr<HostWindowThread> hostThread;
        HWND window = nullptr;
        if (windowOnUnloadingThread) {
            window = CreateWindowExA(0, "STATIC", "host", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr, nullptr,
                                     GetModuleHandleA(nullptr), nullptr);
        } else {
            hostThread = std::make_unique<HostWindowThread>();
            window = hostThread->window();
        }
        ASSERT_NE(window, nullptr);

        // The watcher only looks: it waits for the box and leaves it open.
        WindowWatcher watcher({{WindowMatch::titled("Error"), [](HWND, const SeenWindow &) { return false; }}});
        start(window); // no settings: the box opens
        const auto &seen = watcher.finish();
        ASSERT_TRUE(watcher.completed()) << watcher.failure();
        ASSERT_EQ(seen[0].owner, window);
        EXPECT_FALSE(IsWindowEnabled(window)) << "the open box disables its owner";

        unload();
        EXPECT_TRUE(pumpUntil([] { return dialogsOfThisProcess().empty(); }, 3000)) << "a box of the plug-in is left";
        EXPECT_TRUE(IsWindowEnabled(window)) << "the host's window stays disabled";

        if (windowOnUnloadingThread)
            DestroyWindow(window);
    }
}
