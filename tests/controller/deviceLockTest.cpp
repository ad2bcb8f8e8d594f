// The device lock itself, linked in: who gets the device next, when a waiter
// gives up, and that a waiter killed while it waits holds nobody up. Each
// party is a thread; the order in which they got the device is recorded
// while they hold it.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <string>
#include <vector>

#include "controller/deviceLock.h"
#include "tests/support/registrySettings.h"

namespace {

struct Party {
    const char *name = "";
    bool first = false; // asks as the poller does
    DWORD timeoutMs = 5000;
    DWORD holdMs = 5; // how long it keeps the device
    std::string *order = nullptr;
    std::atomic<bool> got{false};
    std::atomic<DWORD> gotAt{0}; // GetTickCount() when it got the device
};

DWORD WINAPI partyProc(LPVOID argument)
{
    Party &p = *static_cast<Party *>(argument);
    p.got = p.first ? acquireDeviceFirst(p.timeoutMs) : acquireDevice(p.timeoutMs);
    if (p.got) {
        p.gotAt = GetTickCount();
        *p.order += p.name;
        Sleep(p.holdMs);
        releaseDevice();
    }
    return 0;
}

class DeviceLock : public ::testing::Test {
protected:
    void TearDown() override
    {
        for (HANDLE t : threads_) {
            EXPECT_EQ(WaitForSingleObject(t, 10000), WAIT_OBJECT_0);
            CloseHandle(t);
        }
    }
    // Starts the party and returns once it waits for the device (the lock's
    // table holds one more waiter), or its thread handle for the caller.
    HANDLE ask(Party &p)
    {
        const int before = deviceWaiterCount();
        HANDLE t = CreateThread(nullptr, 0, partyProc, &p, 0, nullptr);
        EXPECT_NE(t, nullptr);
        EXPECT_TRUE(waitUntil([&] { return deviceWaiterCount() > before; }, 3000)) << p.name;
        threads_.push_back(t);
        return t;
    }
    void joinAll() { TearDown(), threads_.clear(); }

    std::string order;
    std::vector<HANDLE> threads_;
};

} // namespace

TEST_F(DeviceLock, PollerGoesBeforeWaitingCommandsAndCommandsInArrivalOrder)
{
    ASSERT_TRUE(acquireDevice(1000));
    Party c1{"1"}, c2{"2"}, c3{"3"}, poller{"P", true};
    for (Party *p : {&c1, &c2, &c3, &poller}) {
        p->order = &order;
        ask(*p);
    }
    releaseDevice();
    joinAll();
    EXPECT_EQ(order, "P123");
}

TEST_F(DeviceLock, HolderThatAsksAgainQueuesBehindTheWaiter)
{
    ASSERT_TRUE(acquireDevice(1000));
    Party command{"C"};
    command.order = &order;
    ask(command);
    releaseDevice();
    ASSERT_TRUE(acquireDevice(5000));
    order += "M";
    releaseDevice();
    joinAll();
    EXPECT_EQ(order, "CM");
}

TEST_F(DeviceLock, BusyOnlyWhenOneHolderKeepsTheDevicePastTheBound)
{
    // Four holders of 100 ms each ahead of a waiter with a 2-s bound: it
    // waits well past what a single holder took, but nobody held the device
    // past the bound. (Generous: a loaded machine oversleeps.)
    ASSERT_TRUE(acquireDevice(1000));
    Party ahead[4] = {{"a"}, {"b"}, {"c"}, {"d"}};
    for (Party &p : ahead) {
        p.order = &order;
        p.holdMs = 100;
        ask(p);
    }
    Party patient{"W"};
    patient.order = &order;
    patient.timeoutMs = 2000;
    ask(patient);
    releaseDevice();
    joinAll();
    EXPECT_TRUE(patient.got);
    EXPECT_EQ(order, "abcdW");

    // One holder of 3 s: the waiter gives up once it has held 600 ms,
    // counted from when the holder took the device, long before it lets go.
    const int waitersBefore = deviceWaiterCount();
    Party hog{"H"};
    hog.order = &order;
    hog.holdMs = 3000;
    threads_.push_back(CreateThread(nullptr, 0, partyProc, &hog, 0, nullptr));
    ASSERT_TRUE(waitUntil([&] { return hog.got.load(); }, 3000));
    const bool got = acquireDevice(600);
    const DWORD heldWhenGivenUp = GetTickCount() - hog.gotAt;
    const bool hogStillHolds =
        order.find('H') != std::string::npos && WaitForSingleObject(threads_.back(), 0) == WAIT_TIMEOUT;
    if (got)
        releaseDevice();
    EXPECT_FALSE(got);
    EXPECT_GE(heldWhenGivenUp, 550u) << "gave up before the holder had kept the device for the bound";
    EXPECT_TRUE(hogStillHolds) << "the waiter gave up only after the holder let go";
    EXPECT_EQ(deviceWaiterCount(), waitersBefore) << "a waiter that gave up stayed in the table";
}

TEST_F(DeviceLock, WaiterKilledWhileWaitingHoldsNobodyUp)
{
    // As the unload stops a poller that waits: the killed waiter's entry
    // stays, but it no longer looks, and the next waiter passes over it.
    ASSERT_TRUE(acquireDevice(1000));
    Party killed{"K", true}, next{"N"};
    killed.order = next.order = &order;
    HANDLE victim = ask(killed);
    ASSERT_TRUE(TerminateThread(victim, 0));
    ask(next);
    releaseDevice();
    joinAll();
    EXPECT_FALSE(killed.got);
    EXPECT_TRUE(next.got);
    EXPECT_EQ(order, "N");
    // And the device is free again for anyone.
    EXPECT_TRUE(acquireDevice(1000));
    releaseDevice();
}
