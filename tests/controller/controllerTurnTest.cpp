// The turn on the controller with a bridge table of its own: the device is
// closed once and the lock let go once, in that order, whichever way the
// turn ends; a turn not won opens nothing and lets nothing go; a refused
// open leaves no handle behind; the handle's slot is cleared before the
// close; a duty out of range writes nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "controller/controllerTurn.h"
#include "core/fanCommand.h"
#include "core/meterCore.h"

namespace {

// What the fake bridge and the lock saw, in order: "o" open, "c" close,
// "w<byte><byte>" a write, "r" a read, "l" the lock let go.
std::string seen;
FT_STATUS openResult = FT_OK;
FT_HANDLE *watchedSlot = nullptr;
bool slotClearedAtClose = false;
FT_HANDLE const kHandle = reinterpret_cast<FT_HANDLE>(0x1234);

FT_STATUS WINAPI fakeOpen(int, FT_HANDLE *handle)
{
    seen += "o";
    *handle = kHandle; // as a library that writes before it fails
    return openResult;
}
FT_STATUS WINAPI fakeClose(FT_HANDLE handle)
{
    seen += handle == kHandle ? "c" : "c?";
    slotClearedAtClose = watchedSlot == nullptr || *watchedSlot == nullptr;
    return FT_OK;
}
FT_STATUS WINAPI fakeRead(FT_HANDLE, LPVOID buffer, DWORD bytes, LPDWORD received)
{
    seen += "r";
    std::fill_n(static_cast<uint8_t *>(buffer), bytes, uint8_t{0x55});
    *received = bytes;
    return FT_OK;
}
FT_STATUS WINAPI fakeWrite(FT_HANDLE, LPVOID buffer, DWORD bytes, LPDWORD written)
{
    seen += "w";
    for (DWORD i = 0; i < bytes; ++i)
        seen += std::to_string(static_cast<const uint8_t *>(buffer)[i]) + ",";
    *written = bytes;
    return FT_OK;
}
FT_STATUS WINAPI fakeSetting(FT_HANDLE, ULONG)
{
    return FT_OK;
}
FT_STATUS WINAPI fakeCharacteristics(FT_HANDLE, UCHAR, UCHAR, UCHAR)
{
    return FT_OK;
}
FT_STATUS WINAPI fakeTimeouts(FT_HANDLE, ULONG, ULONG)
{
    return FT_OK;
}

const BridgeOperations kFakeBridge = {fakeOpen,    fakeClose,           fakeRead,    fakeWrite,
                                      fakeSetting, fakeCharacteristics, fakeTimeouts};

void letGo()
{
    seen += "l";
}

class Turn : public ::testing::Test {
protected:
    void SetUp() override
    {
        seen.clear();
        openResult = FT_OK;
        watchedSlot = nullptr;
        slotClearedAtClose = false;
    }
};

} // namespace

TEST_F(Turn, ExchangeAndSendsShareOneHandleClosedOnceBeforeTheLockGoes)
{
    {
        ControllerTurn turn(kFakeBridge, true, letGo);
        ASSERT_TRUE(turn.taken());
        ASSERT_EQ(turn.openDevice(1), nullptr);
        EXPECT_TRUE(turn.open());
        uint8_t frame[kStatusFrameSize] = {};
        EXPECT_EQ(turn.exchangeStatus(frame), nullptr);
        EXPECT_EQ(frame[kStatusFrameSize - 1], 0x55);
        EXPECT_EQ(turn.send(2, 40), nullptr);
        const uint8_t command[kFanCommandSize] = {0x11, 7};
        EXPECT_EQ(turn.send(command), nullptr);
    }
    EXPECT_EQ(seen, "ow" + std::to_string(kStatusRequest) + ",rw19,40,w17,7,cl");
}

TEST_F(Turn, EndedEarlyItEndsOnceAndOpensNoMore)
{
    ControllerTurn turn(kFakeBridge, true, letGo);
    ASSERT_EQ(turn.openDevice(0), nullptr);
    turn.closeDevice();
    EXPECT_FALSE(turn.open());
    turn.finish();
    turn.finish();
    EXPECT_EQ(turn.openDevice(0), kOpenFailed);
    EXPECT_EQ(seen, "ocl");
}

TEST_F(Turn, ATurnNotWonOpensNothingAndLetsNothingGo)
{
    {
        ControllerTurn turn(kFakeBridge, false, letGo);
        EXPECT_FALSE(turn.taken());
        EXPECT_EQ(turn.openDevice(0), kOpenFailed);
        EXPECT_FALSE(turn.open());
    }
    {
        ControllerTurn noLock(kFakeBridge, true, nullptr);
        EXPECT_EQ(noLock.openDevice(0), nullptr);
    }
    EXPECT_EQ(seen, "oc");
}

TEST_F(Turn, ARefusedOpenLeavesNoHandleInTheSlotAndNothingToClose)
{
    openResult = 2; // any status but FT_OK
    FT_HANDLE published = nullptr;
    {
        ControllerTurn turn(kFakeBridge, true, letGo);
        EXPECT_EQ(turn.openDevice(0, &published), kOpenFailed);
        EXPECT_EQ(published, nullptr);
        EXPECT_FALSE(turn.open());
    }
    EXPECT_EQ(seen, "ol");
}

TEST_F(Turn, AHandleKeptInTheCallersSlotIsClearedThereBeforeItsClose)
{
    FT_HANDLE published = nullptr;
    watchedSlot = &published;
    {
        ControllerTurn turn(kFakeBridge, true, letGo);
        ASSERT_EQ(turn.openDevice(0, &published), nullptr);
        EXPECT_EQ(published, kHandle);
    }
    EXPECT_EQ(published, nullptr);
    EXPECT_TRUE(slotClearedAtClose);
    EXPECT_EQ(seen, "ocl");
}

TEST_F(Turn, ADutyOutOfRangeIsRefusedWithItsTextAndNotWritten)
{
    ControllerTurn turn(kFakeBridge, true, letGo);
    ASSERT_EQ(turn.openDevice(0), nullptr);
    EXPECT_EQ(turn.send(kFanCount, 50), kInvalidFanIndex);
    EXPECT_EQ(turn.send(0, 101), kInvalidPercentage);
    EXPECT_EQ(turn.send(-1, -1), kInvalidFanIndex);
    EXPECT_EQ(seen, "o");
}
