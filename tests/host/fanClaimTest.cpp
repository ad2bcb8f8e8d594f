// The claims on the fans (host/device/fanClaim.h) as one process sees them:
// a claim is the ownership of its mutex, so a name that another program
// merely holds open takes no fan away, and one whose owner ended without
// letting go is taken over; a claim owned elsewhere, a name of another kind
// of object and one made under rights that refuse this program are each
// refused, naming the fan and the name, and a refused claim leaves free the
// fans it had claimed before. A mutex belongs to a thread, so each other
// party here is a thread of its own, as another program would be.
#include <windows.h>

#include <gtest/gtest.h>
#include <sddl.h>

#include <functional>
#include <string>

#include "host/device/fanClaim.h"
#include "tests/support/turnHolder.h"

namespace {

// Unique to this test process, so that no other test's claims meet these.
const std::string kController = "CLAIMTEST" + std::to_string(GetCurrentProcessId());

std::string globalName(int fan)
{
    return "Global\\VORN fan claim " + kController + " fan " + std::to_string(fan);
}

DWORD WINAPI runTask(LPVOID task)
{
    (*static_cast<std::function<void()> *>(task))();
    return 0;
}

// Runs `work` on a thread of its own and waits for it (10 s at most).
void onAnotherThread(std::function<void()> work)
{
    HANDLE thread = CreateThread(nullptr, 0, runTask, &work, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    EXPECT_EQ(WaitForSingleObject(thread, 10000), WAIT_OBJECT_0);
    CloseHandle(thread);
}

// Whether a thread other than this one finds the fan claimed.
bool claimedElsewhere(int fan)
{
    bool claimed = true;
    onAnotherThread([&] { claimed = fanClaimed(kController, fan); });
    return claimed;
}

} // namespace

TEST(FanClaim, ANameHeldOpenOrLeftAbandonedIsNoClaim)
{
    // Held open without being owned, as anyone may: the claim is taken.
    HANDLE squatter = CreateMutexA(nullptr, FALSE, globalName(0).c_str());
    ASSERT_NE(squatter, nullptr);
    // Owned by a thread that ended without letting go: abandoned, taken over.
    HANDLE abandoned = nullptr;
    onAnotherThread([&] { abandoned = CreateMutexA(nullptr, TRUE, globalName(1).c_str()); });
    ASSERT_NE(abandoned, nullptr);
    {
        FanClaims claims;
        std::string refusal;
        EXPECT_TRUE(claims.claim(kController, {0, 1}, refusal)) << refusal;
        EXPECT_TRUE(claimedElsewhere(0));
        EXPECT_TRUE(claimedElsewhere(1));
    }
    // Let go with the claims, though the names stay.
    EXPECT_FALSE(claimedElsewhere(0));
    EXPECT_FALSE(claimedElsewhere(1));
    CloseHandle(abandoned);
    CloseHandle(squatter);
}

TEST(FanClaim, ARefusedClaimNamesItsNameAndLeavesTheOtherFansFree)
{
    const std::string fanText = "fan 2 of " + kController;
    const std::string shown = "\"" + globalName(2) + "\"";
    {
        TurnHolder other(globalName(2));
        ASSERT_TRUE(other.held());
        FanClaims claims;
        std::string refusal;
        EXPECT_FALSE(claims.claim(kController, {0, 1, 2, 3}, refusal));
        EXPECT_EQ(refusal, fanText +
                               " is driven by another vornhost control already (another program owns its claim, " +
                               shown + ")");
        // Fans 0 and 1, claimed before fan 2 was refused, are free again.
        EXPECT_FALSE(claimedElsewhere(0));
        EXPECT_FALSE(claimedElsewhere(1));
        EXPECT_FALSE(claimedElsewhere(3));
        bool second = false;
        onAnotherThread([&] {
            FanClaims mine;
            std::string why;
            second = mine.claim(kController, {0, 1, 3}, why);
        });
        EXPECT_TRUE(second);
    }

    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, globalName(2).c_str());
    ASSERT_NE(event, nullptr);
    {
        FanClaims claims;
        std::string refusal;
        EXPECT_FALSE(claims.claim(kController, {0, 2}, refusal));
        EXPECT_EQ(refusal, fanText + " cannot be claimed: another kind of object has its claim's name, " + shown);
        EXPECT_FALSE(claimedElsewhere(0));
    }
    CloseHandle(event);

    // Made first by a program whose descriptor refuses everyone the rights a
    // claim needs (a denial: Wine grants its one user whatever is allowed).
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA("D:(D;;0x001F0001;;;WD)", SDDL_REVISION_1,
                                                                     &descriptor, nullptr));
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, descriptor, FALSE};
    HANDLE refusing = CreateMutexA(&attributes, FALSE, globalName(2).c_str());
    LocalFree(descriptor);
    ASSERT_NE(refusing, nullptr);
    {
        FanClaims claims;
        std::string refusal;
        EXPECT_FALSE(claims.claim(kController, {2}, refusal));
        EXPECT_EQ(refusal, fanText + " cannot be claimed: another program made its claim, " + shown +
                               ", under rights that refuse this one");
    }
    CloseHandle(refusing);
}
