// The controller's lock, linked in: a waiter's whole wait is bounded, a
// holder that asks again queues behind the waiter, a holder that died hands
// the device on, and a name taken by another kind of object still leaves a
// lock that keeps this process's parties apart; the lock is the global one
// even beside one that a more privileged program created first. Each party is
// a thread.
#include <gtest/gtest.h>

#include <windows.h>

#include <aclapi.h>

#include <atomic>
#include <string>
#include <vector>

#include "controller/moduleLock.h"
#include "controller/sharedLocks.h"
#include "tests/support/registrySettings.h"
#include "tests/support/turnHolder.h"

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
    p.got = takeTurn(p.timeoutMs);
    if (!p.got)
        return 0;
    if (p.order != nullptr)
        *p.order += p.name;
    Sleep(p.holdMs);
    if (!p.dieHolding)
        endTurn();
    return 0;
}

class ModuleLock : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(openModuleLock()); }
    void TearDown() override
    {
        for (HANDLE t : threads_) {
            EXPECT_EQ(WaitForSingleObject(t, 10000), WAIT_OBJECT_0);
            CloseHandle(t);
        }
        closeModuleLock();
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

TEST_F(ModuleLock, HolderThatAsksAgainQueuesBehindTheWaiter)
{
    ASSERT_TRUE(takeTurn(1000));
    Party command;
    command.order = &order;
    command.name = "C";
    ask(command);
    endTurn();
    ASSERT_TRUE(takeTurn(5000));
    order += "M";
    endTurn();
    joinAll();
    EXPECT_EQ(order, "CM");
}

TEST_F(ModuleLock, TheWholeWaitIsBoundedEvenBehindShortHolders)
{
    // Five holders of 300 ms each ahead of a waiter with a 1-s bound: none
    // keeps the device past the bound, but the waiter's turn would come only
    // after 1.5 s, so it gives up as busy.
    ASSERT_TRUE(takeTurn(1000));
    Party ahead[5];
    for (Party &p : ahead) {
        p.holdMs = 300;
        ask(p);
    }
    endTurn();
    const DWORD start = GetTickCount();
    const bool got = takeTurn(1000);
    const DWORD waited = GetTickCount() - start;
    if (got)
        endTurn();
    EXPECT_FALSE(got);
    EXPECT_LT(waited, 1400u) << "waited past its bound";
    joinAll();
    for (const Party &p : ahead)
        EXPECT_TRUE(p.got) << "a holder ahead of the waiter got nothing";
}

TEST_F(ModuleLock, AHolderThatDiedHandsTheDeviceOn)
{
    Party dead;
    dead.dieHolding = true;
    ask(dead);
    joinAll();
    ASSERT_TRUE(dead.got);
    // The mutex is abandoned: the next waiter takes it as free at once.
    const DWORD start = GetTickCount();
    EXPECT_TRUE(takeTurn(3000));
    EXPECT_LT(GetTickCount() - start, 1000u);
    endTurn();
}

// The names taken by another kind of object: without the global one the
// lock is the session's; without both, one of this process. Either way the
// poller and the fan command still take turns.
TEST_F(ModuleLock, NamesTakenByAnotherObjectStillLeaveALockThatKeepsPartiesApart)
{
    const struct {
        const char *what;
        std::vector<const char *> taken;
        bool sessionLock;
    } cases[] = {{"the global name taken", {kControllerLockName}, true},
                 {"both names taken", {kControllerLockName, kControllerLockLocalName}, false}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        closeModuleLock();
        std::vector<HANDLE> squatters;
        for (const char *name : c.taken)
            squatters.push_back(CreateEventA(nullptr, TRUE, FALSE, name));
        const OpenedLock opened = openControllerLock();
        EXPECT_FALSE(opened.global);
        EXPECT_EQ(opened.globalError, static_cast<DWORD>(ERROR_INVALID_HANDLE));
        EXPECT_EQ(opened.handle != nullptr, c.sessionLock);
        if (opened.handle != nullptr)
            CloseHandle(opened.handle);

        ASSERT_TRUE(openModuleLock());
        ASSERT_TRUE(takeTurn(1000));
        Party other;
        other.timeoutMs = 300;
        ask(other);
        EXPECT_EQ(WaitForSingleObject(threads_.back(), 5000), WAIT_OBJECT_0);
        endTurn();
        EXPECT_FALSE(other.got) << "the fallback lock let a second party in";
        joinAll();
        for (HANDLE squatter : squatters)
            CloseHandle(squatter);
    }
}

// A more privileged program created the lock first and grants the others
// waiting and releasing only: a full-access CreateMutex is refused, yet the
// plug-in opens that same global lock for those rights and takes turns on it.
TEST_F(ModuleLock, ALockCreatedFirstGrantingWaitAndReleaseOnlyIsStillShared)
{
    closeModuleLock();
    HANDLE first = createLockGrantingWaitAndReleaseOnly();
    ASSERT_NE(first, nullptr);
    HANDLE fullAccess = CreateMutexA(nullptr, FALSE, kControllerLockName);
    const DWORD refusal = GetLastError();
    ASSERT_EQ(fullAccess, nullptr) << "full access granted: this proves nothing";
    EXPECT_EQ(refusal, static_cast<DWORD>(ERROR_ACCESS_DENIED));

    const OpenedLock opened = openControllerLock();
    ASSERT_NE(opened.handle, nullptr) << opened.globalError;
    EXPECT_TRUE(opened.global);
    // Released with no more than the rights asked for.
    EXPECT_EQ(WaitForSingleObject(opened.handle, 1000), WAIT_OBJECT_0);
    EXPECT_TRUE(ReleaseMutex(opened.handle));
    CloseHandle(opened.handle);

    // The creator's turn keeps the plug-in's parties waiting, and its end
    // lets them in.
    ASSERT_TRUE(openModuleLock());
    ASSERT_EQ(WaitForSingleObject(first, 0), WAIT_OBJECT_0);
    Party refused, admitted;
    refused.timeoutMs = 300;
    ask(refused);
    EXPECT_EQ(WaitForSingleObject(threads_.back(), 5000), WAIT_OBJECT_0);
    ask(admitted);
    ReleaseMutex(first);
    joinAll();
    EXPECT_FALSE(refused.got) << "not the creator's lock";
    EXPECT_TRUE(admitted.got);
    CloseHandle(first);
}

// The lock it creates lets every authenticated user, in any session, wait
// for it and release it (the single user under Wine cannot show the others).
TEST_F(ModuleLock, TheLockItCreatesLetsEveryAuthenticatedUserWaitAndRelease)
{
    closeModuleLock();
    const OpenedLock created = openControllerLock();
    ASSERT_TRUE(created.global);
    HANDLE reader = OpenMutexA(READ_CONTROL, FALSE, kControllerLockName);
    ASSERT_NE(reader, nullptr);
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    PACL dacl = nullptr;
    ASSERT_EQ(GetSecurityInfo(reader, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl, nullptr,
                              &descriptor),
              static_cast<DWORD>(ERROR_SUCCESS));
    BYTE users[SECURITY_MAX_SID_SIZE];
    DWORD usersSize = sizeof users;
    ASSERT_TRUE(CreateWellKnownSid(WinAuthenticatedUserSid, nullptr, users, &usersSize));
    DWORD usersMask = 0;
    for (DWORD i = 0; dacl != nullptr && i < dacl->AceCount; ++i) {
        ACCESS_ALLOWED_ACE *ace = nullptr;
        if (GetAce(dacl, i, reinterpret_cast<void **>(&ace)) && ace->Header.AceType == ACCESS_ALLOWED_ACE_TYPE &&
            EqualSid(&ace->SidStart, users))
            usersMask |= ace->Mask;
    }
    EXPECT_EQ(usersMask, static_cast<DWORD>(SYNCHRONIZE | MUTEX_MODIFY_STATE));
    LocalFree(descriptor);
    CloseHandle(reader);
    CloseHandle(created.handle);
}
