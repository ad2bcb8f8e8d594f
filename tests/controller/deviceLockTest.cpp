// The controller's lock, linked in: a waiter's whole wait is bounded, a
// holder that asks again queues behind the waiter, a holder that died hands
// the device on, and a name taken by another kind of object still leaves a
// lock that keeps this process's parties apart. Each party is a thread.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <string>

#include "controller/deviceLock.h"
#include "tests/support/registrySettings.h"

namespace {

struct Party {
    DWORD timeoutMs = 5000;
    DWORD holdMs = 0;
    bool dieHolding = false; // ends its thread without letting go
    std::string *order = nullptr;
    const char *name = "";
    std::atomic<bool> asking{false};
    std::atomic<bool> got{false};
};

DWORD WINAPI partyProc(LPVOID argument)
{
    Party &p = *static_cast<Party *>(argument);
    p.asking = true;
    p.got = acquireDevice(p.timeoutMs);
    if (!p.got)
        return 0;
    if (p.order != nullptr)
        *p.order += p.name;
    Sleep(p.holdMs);
    if (!p.dieHolding)
        releaseDevice();
    return 0;
}

class DeviceLock : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(openDeviceLock()); }
    void TearDown() override
    {
        for (HANDLE t : threads_) {
            EXPECT_EQ(WaitForSingleObject(t, 10000), WAIT_OBJECT_0);
            CloseHandle(t);
        }
        closeDeviceLock();
    }
    // Starts the party; returns once it is (nearly certainly) waiting.
    void ask(Party &p)
    {
        HANDLE t = CreateThread(nullptr, 0, partyProc, &p, 0, nullptr);
        ASSERT_NE(t, nullptr);
        threads_.push_back(t);
        ASSERT_TRUE(waitUntil([&] { return p.asking.load(); }, 3000));
        Sleep(100);
    }
    void joinAll() { TearDown(), threads_.clear(), SetUp(); }

    std::string order;
    std::vector<HANDLE> threads_;
};

} // namespace

TEST_F(DeviceLock, HolderThatAsksAgainQueuesBehindTheWaiter)
{
    ASSERT_TRUE(acquireDevice(1000));
    Party command;
    command.order = &order;
    command.name = "C";
    ask(command);
    releaseDevice();
    ASSERT_TRUE(acquireDevice(5000));
    order += "M";
    releaseDevice();
    joinAll();
    EXPECT_EQ(order, "CM");
}

TEST_F(DeviceLock, TheWholeWaitIsBoundedEvenBehindShortHolders)
{
    // Five holders of 300 ms each ahead of a waiter with a 1-s bound: none
    // keeps the device past the bound, but the waiter's turn would come only
    // after 1.5 s, so it gives up as busy.
    ASSERT_TRUE(acquireDevice(1000));
    Party ahead[5];
    for (Party &p : ahead) {
        p.holdMs = 300;
        ask(p);
    }
    releaseDevice();
    const DWORD start = GetTickCount();
    const bool got = acquireDevice(1000);
    const DWORD waited = GetTickCount() - start;
    if (got)
        releaseDevice();
    EXPECT_FALSE(got);
    EXPECT_LT(waited, 1400u) << "waited past its bound";
    joinAll();
    for (const Party &p : ahead)
        EXPECT_TRUE(p.got) << "a holder ahead of the waiter got nothing";
}

TEST_F(DeviceLock, AHolderThatDiedHandsTheDeviceOn)
{
    Party dead;
    dead.dieHolding = true;
    ask(dead);
    joinAll();
    ASSERT_TRUE(dead.got);
    // The mutex is abandoned: the next waiter takes it as free at once.
    const DWORD start = GetTickCount();
    EXPECT_TRUE(acquireDevice(3000));
    EXPECT_LT(GetTickCount() - start, 1000u);
    releaseDevice();
}

TEST_F(DeviceLock, ANameTakenByAnotherObjectStillLeavesALockOfThisProcess)
{
    closeDeviceLock();
    HANDLE squatter = CreateEventA(nullptr, TRUE, FALSE, kControllerLockName);
    ASSERT_NE(squatter, nullptr);
    ASSERT_TRUE(openDeviceLock());
    ASSERT_TRUE(acquireDevice(1000));
    Party other;
    other.timeoutMs = 300;
    ask(other);
    EXPECT_EQ(WaitForSingleObject(threads_.back(), 5000), WAIT_OBJECT_0);
    releaseDevice();
    EXPECT_FALSE(other.got) << "the fallback lock let a second party in";
    CloseHandle(squatter);
}
