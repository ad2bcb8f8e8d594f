// The configuration dialog driven like a user would: through configure and
// source_configure of VORN.dll, with the spin buttons and the edits, against
// the real registry of the test prefix.
#include <windows.h>

#include <commctrl.h>

#include <gtest/gtest.h>

#include "settings/configDialogIds.h"
#include "tests/settings/dialogFixture.h"
#include "tests/support/registrySettings.h"

namespace {

class ConfigureDialog : public DialogTest {
protected:
    static void SetUpTestSuite()
    {
        // As many hosts do; user32 would also load comctl32 by itself for
        // the dialog's up-down controls.
        INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_UPDOWN_CLASS};
        ASSERT_TRUE(InitCommonControlsEx(&controls));
    }
};

// An action that sets both edits and presses OK, which keeps the dialog open.
WindowAction enterAndOk(const char *deviceId, const char *refreshRate, WORD notifyCode = BN_CLICKED)
{
    return [=](HWND dialog, const SeenWindow &) {
        EXPECT_TRUE(setControlText(dialog, deviceIdEdit, deviceId));
        EXPECT_TRUE(setControlText(dialog, refreshRateEdit, refreshRate));
        postCommand(dialog, IDOK, notifyCode);
        return false;
    };
}

bool cancel(HWND dialog, const SeenWindow &)
{
    postCommand(dialog, IDCANCEL);
    return true;
}

} // namespace

TEST_F(ConfigureDialog, FirstUseShowsZeroAndFiveWithoutABoxAndOkCreatesTheSettings)
{
    // No dllstartup: hostWindow is null, so the dialog has no owner.
    std::string afterSpins[2];
    int result = -1;
    const auto seen = runConfigure({{WindowMatch::onThread(GetCurrentThreadId()),
                                     [&](HWND dialog, const SeenWindow &) {
                                         // The spin buttons write into the edit just before them.
                                         EXPECT_TRUE(setSpinPosition(dialog, deviceIdSpin, 3));
                                         EXPECT_TRUE(setSpinPosition(dialog, refreshRateSpin, 12));
                                         afterSpins[0] = controlText(dialog, deviceIdEdit);
                                         afterSpins[1] = controlText(dialog, refreshRateEdit);
                                         saveScreenshot(dialog, "configure-dialog.png");
                                         postCommand(dialog, IDOK);
                                         return true;
                                     }}},
                                   &result);
    EXPECT_EQ(result, 0);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].title, kDialogTitle) << "a box came before the dialog";
    EXPECT_EQ(seen[0].owner, nullptr);
    ASSERT_NE(seen[0].control(deviceIdEdit), nullptr);
    ASSERT_NE(seen[0].control(refreshRateEdit), nullptr);
    EXPECT_EQ(seen[0].control(deviceIdEdit)->text, "0");
    EXPECT_EQ(seen[0].control(refreshRateEdit)->text, "5");
    EXPECT_EQ(afterSpins[0], "3");
    EXPECT_EQ(afterSpins[1], "12");

    expectStoredSettings(3, 12);
    // The failed load at opening set it; the good save does not clear it.
    EXPECT_EQ(lastErrorText(), "Can't open registry key.");
}

TEST_F(ConfigureDialog, StoredValuesShownOwnedByTheHostAndAnyOkCommandSaves)
{
    startPlugin(2, 3600);
    const auto seen = runConfigure({{dialogOnThisThread(), [](HWND dialog, const SeenWindow &) {
                                         setControlText(dialog, deviceIdEdit, "7");
                                         setControlText(dialog, refreshRateEdit, "45");
                                         // Only the low word is the command id.
                                         postCommand(dialog, IDOK, 0x1234);
                                         return true;
                                     }}});
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].owner, host);
    EXPECT_EQ(seen[0].style & (WS_POPUP | WS_CAPTION | WS_SYSMENU), WS_POPUP | WS_CAPTION | WS_SYSMENU);
    EXPECT_EQ(seen[0].control(deviceIdEdit)->text, "2");
    EXPECT_EQ(seen[0].control(refreshRateEdit)->text, "3600");
    expectStoredSettings(7, 45);
    EXPECT_EQ(lastErrorText(), "");
}

TEST_F(ConfigureDialog, RefreshRateNotAboveZeroIsRefusedOverTheDialog)
{
    startPlugin(1, 3600);
    const auto seen = runConfigure({
        {dialogOnThisThread(), enterAndOk("4", "0")},
        {errorBoxOnThisThread(), dismissWindow},
        // 3,000,000,000 is negative as a signed 32-bit number.
        {dialogOnThisThread(), enterAndOk("4", "3000000000")},
        {errorBoxOnThisThread(), dismissWindow},
        {dialogOnThisThread(),
         [](HWND dialog, const SeenWindow &) {
             postCommand(dialog, IDCANCEL, 0xFFFF); // any high word
             return true;
         }},
    });
    ASSERT_EQ(seen.size(), 5u);
    for (size_t box : {1u, 3u}) {
        EXPECT_EQ(seen[box].text(), "The refresh rate must be > 0.");
        EXPECT_EQ(seen[box].owner, seen[0].window) << "the box belongs to the dialog";
        EXPECT_EQ(seen[box].buttons(), std::vector<std::string>{"OK"});
        EXPECT_FALSE(seen[box].hasIcon());
    }
    // The dialog stayed open with what the user entered.
    EXPECT_EQ(seen[2].window, seen[0].window);
    EXPECT_EQ(seen[2].control(deviceIdEdit)->text, "4");
    EXPECT_EQ(seen[2].control(refreshRateEdit)->text, "0");
    expectStoredSettings(1, 3600);
}

TEST_F(ConfigureDialog, TextsThatAreNotNumbersAreReportedToTheHostWindow)
{
    startPlugin(1, 3600);
    const auto seen = runConfigure({
        {dialogOnThisThread(), enterAndOk("abc", "10")},
        {errorBoxOnThisThread(), dismissWindow},
        {dialogOnThisThread(), enterAndOk("2", "")},
        {errorBoxOnThisThread(), dismissWindow},
        {dialogOnThisThread(), cancel},
    });
    ASSERT_EQ(seen.size(), 5u);
    EXPECT_EQ(seen[1].text().rfind("Read devise ID failed with error ", 0), 0u) << seen[1].text();
    EXPECT_EQ(seen[1].owner, host);
    EXPECT_EQ(seen[3].text().rfind("Read refresh rate failed with error ", 0), 0u) << seen[3].text();
    EXPECT_EQ(seen[3].owner, host);
    DWORD device = 0;
    EXPECT_TRUE(storedDword("Device ID", &device));
    EXPECT_EQ(device, 1u);
}

TEST_F(ConfigureDialog, FailedSaveKeepsTheDialogOpenAndCancelKeepsTheStoredValues)
{
    startPlugin(1, 3600);
    lockSettings();
    const auto seen = runConfigure({
        {dialogOnThisThread(), enterAndOk("5", "20")},
        {errorBoxOnThisThread(), dismissWindow},
        {dialogOnThisThread(), cancel},
    });
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0].control(deviceIdEdit)->text, "1"); // loading still works
    EXPECT_EQ(seen[1].text(), "RegCreateKeyEx failed with error 5\n" + systemText(ERROR_ACCESS_DENIED));
    EXPECT_EQ(seen[1].owner, seen[0].window);
    EXPECT_EQ(lastErrorText(), "Can't create registry key.");
    expectStoredSettings(1, 3600);
}

TEST_F(ConfigureDialog, EveryEntryNameOpensTheSameDialogAndReturnsZero)
{
    seedSettings(6, 9);
    for (const char *entry : {"configure", "_configure@0", "source_configure", "_source_configure@8"}) {
        SCOPED_TRACE(entry);
        int result = -1;
        const auto seen = runConfigure({{dialogOnThisThread(), cancel}}, &result, entry);
        EXPECT_EQ(result, 0);
        ASSERT_EQ(seen.size(), 1u);
        EXPECT_EQ(seen[0].control(deviceIdEdit)->text, "6");
        EXPECT_EQ(seen[0].control(refreshRateEdit)->text, "9");
    }
}
