// What the dialog leaves in the module-wide deviceNumber, which the poller
// uses at its next cycle. The plug-in's objects are linked in so that the
// variable can be read; the dialog template still comes from VORN.dll.
#include <windows.h>

#include <commctrl.h>

#include <gtest/gtest.h>

#include "plugin/exports.h"
#include "settings/configDialogIds.h"
#include "state/moduleState.h"
#include "tests/settings/dialogFixture.h"
#include "tests/support/registrySettings.h"

namespace {

class DialogDeviceNumber : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_UPDOWN_CLASS};
        ASSERT_TRUE(InitCommonControlsEx(&controls));
    }

    void SetUp() override
    {
        unlockSettings();
        clearSettings();
        ASSERT_TRUE(templates.loaded());
        moduleInstance = templates.handle();
        host = CreateWindowExA(0, "STATIC", "VORN test host", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr, nullptr,
                               GetModuleHandleA(nullptr), nullptr);
        hostWindow.store(host);
        deviceNumber.store(0);
        lastError.store(nullptr);
    }

    void TearDown() override
    {
        closeAllDialogs(3000);
        hostWindow.store(nullptr);
        DestroyWindow(host);
        unlockSettings();
        clearSettings();
    }

    // Runs configure while the watcher works through steps; every step must
    // find its window.
    std::vector<SeenWindow> run(std::vector<WatchStep> steps)
    {
        WindowWatcher watcher(std::move(steps));
        EXPECT_EQ(configure(), 0);
        std::vector<SeenWindow> seen = watcher.finish();
        EXPECT_TRUE(watcher.completed()) << watcher.failure();
        return seen;
    }

    PluginModule templates; // VORN.dll, for its dialog template only
    HWND host = nullptr;
};

WindowAction enterAndOk(const char *deviceId, const char *refreshRate)
{
    return [=](HWND dialog, const SeenWindow &) {
        setControlText(dialog, deviceIdEdit, deviceId);
        setControlText(dialog, refreshRateEdit, refreshRate);
        postCommand(dialog, IDOK);
        return false;
    };
}

bool cancel(HWND dialog, const SeenWindow &)
{
    postCommand(dialog, IDCANCEL);
    return true;
}

// Dismisses a box after noting the device number at that moment.
WindowAction noteDeviceNumber(int32_t *seen)
{
    return [=](HWND box, const SeenWindow &window) {
        *seen = deviceNumber.load();
        return dismissWindow(box, window);
    };
}

} // namespace

TEST_F(DialogDeviceNumber, TakenBeforeTheChecksAndKeptOnCancelUntilTheDialogReloadsIt)
{
    seedSettings(1, 10);
    int32_t atRateBox = -1, atDeviceBox = -1;
    auto seen = run({
        {dialogOnThisThread(), enterAndOk("4", "0")},
        {errorBoxOnThisThread(), noteDeviceNumber(&atRateBox)},
        {dialogOnThisThread(), enterAndOk("x", "10")},
        {errorBoxOnThisThread(), noteDeviceNumber(&atDeviceBox)},
        {dialogOnThisThread(), enterAndOk("9", "0")},
        {errorBoxOnThisThread(), dismissWindow},
        {dialogOnThisThread(), cancel},
    });
    ASSERT_EQ(seen.size(), 7u);
    EXPECT_EQ(atRateBox, 4);
    EXPECT_EQ(seen[1].text(), "The refresh rate must be > 0.");
    EXPECT_EQ(atDeviceBox, 0) << "a device ID that is not a number stores 0";
    EXPECT_EQ(seen[3].owner, host);
    EXPECT_EQ(deviceNumber.load(), 9) << "Cancel restores nothing";
    EXPECT_EQ(lastError.load(), nullptr);

    // Opening the dialog again reloads the stored number.
    seen = run({{dialogOnThisThread(), cancel}});
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].control(deviceIdEdit)->text, "1");
    EXPECT_EQ(deviceNumber.load(), 1);
}

TEST_F(DialogDeviceNumber, FailedSaveThenCancelKeepsTheNewNumberOnlyInMemory)
{
    seedSettings(1, 10);
    lockSettings();
    int32_t atSaveBox = -1;
    const auto seen = run({
        {dialogOnThisThread(), enterAndOk("5", "20")},
        {errorBoxOnThisThread(), noteDeviceNumber(&atSaveBox)},
        {dialogOnThisThread(), cancel},
    });
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[1].owner, seen[0].window);
    EXPECT_EQ(atSaveBox, 5);
    EXPECT_EQ(deviceNumber.load(), 5);
    EXPECT_STREQ(lastError.load(), "Can't create registry key.");
    expectStoredSettings(1, 10);
}

TEST_F(DialogDeviceNumber, OpeningWithoutSettingsKeepsTheCurrentNumber)
{
    deviceNumber.store(42);
    const auto seen = run({{dialogOnThisThread(), cancel}});
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].control(deviceIdEdit)->text, "42");
    EXPECT_EQ(seen[0].control(refreshRateEdit)->text, "5");
    EXPECT_STREQ(lastError.load(), "Can't open registry key.");
}
