// loadSettings and saveSettings against the real registry: what each path
// leaves in the caller's variables, in lastError, in the registry and on the
// screen.
#include <gtest/gtest.h>

#include <cstring>

#include "settings/settingsStore.h"
#include "state/moduleState.h"
#include "tests/settings/settingsFixture.h"
#include "tests/support/registrySettings.h"

namespace {

class LoadSettings : public SettingsTest {
protected:
    // Loads into deviceNumber and a rate that both start at known values.
    int load(HWND parent)
    {
        deviceNumber.store(0x11223344);
        rate = 0x55667788;
        return loadSettings(parent, &deviceNumber, &rate);
    }

    int32_t rate = 0;
};

class SaveSettings : public SettingsTest {};

void storeDword(const char *name, DWORD value)
{
    storeValue(name, REG_DWORD, &value, sizeof value);
}

} // namespace

TEST(SettingsKeyName, IsTheVornKeyOfTheCurrentUser)
{
    EXPECT_STREQ(kSettingsKey, "Software\\Orvendel\\Plugins\\VORN");
}

TEST_F(LoadSettings, StoredValuesReachBothVariables)
{
    seedSettings(3, 60);
    EXPECT_EQ(load(nullptr), 0);
    EXPECT_EQ(deviceNumber.load(), 3);
    EXPECT_EQ(rate, 60);
    EXPECT_EQ(lastError.load(), nullptr);

    // Any type with exactly four bytes is taken as a little-endian number.
    const BYTE minusTwo[4] = {0xFE, 0xFF, 0xFF, 0xFF};
    const BYTE seventeen[4] = {17, 0, 0, 0};
    storeValue("Device ID", REG_BINARY, minusTwo, 4);
    storeValue("Refresh Rate", REG_SZ, seventeen, 4);
    EXPECT_EQ(boxesShownBy([&] { EXPECT_EQ(load(owner), 0); }, 0).size(), 0u);
    EXPECT_EQ(deviceNumber.load(), -2);
    EXPECT_EQ(rate, 17);
    EXPECT_EQ(lastError.load(), nullptr);
}

TEST_F(LoadSettings, NoKeyLeavesBothVariablesAndTellsTheOwner)
{
    EXPECT_EQ(load(nullptr), 1);
    EXPECT_EQ(deviceNumber.load(), 0x11223344);
    EXPECT_EQ(rate, 0x55667788);
    EXPECT_STREQ(lastError.load(), "Can't open registry key.");

    lastError.store(nullptr);
    int result = -1;
    const auto boxes = boxesShownBy([&] { result = load(owner); }, 1);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(deviceNumber.load(), 0x11223344);
    EXPECT_EQ(rate, 0x55667788);
    EXPECT_STREQ(lastError.load(), "Can't open registry key.");
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].title, "Error");
    EXPECT_EQ(boxes[0].text(), expectedBoxText("RegOpenKeyEx", ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(boxes[0].text().rfind("RegOpenKeyEx failed with error 2\n", 0), 0u);
    EXPECT_EQ(boxes[0].owner, owner);
    EXPECT_EQ(boxes[0].buttons(), std::vector<std::string>{"OK"});
    EXPECT_FALSE(boxes[0].hasIcon());
}

TEST_F(LoadSettings, MissingDeviceIdIsAReadFailure)
{
    storeDword("Refresh Rate", 9);
    const auto boxes = boxesShownBy([&] { EXPECT_EQ(load(owner), 1); }, 1);
    EXPECT_EQ(deviceNumber.load(), 0x11223344);
    EXPECT_EQ(rate, 0x55667788);
    EXPECT_STREQ(lastError.load(), "Can't read device ID.");
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text(), expectedBoxText("RegQueryValueEx", ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(boxes[0].owner, owner);
}

TEST_F(LoadSettings, LongDeviceIdShowsTheMoreDataCode)
{
    const BYTE eight[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    storeValue("Device ID", REG_BINARY, eight, 8);
    storeDword("Refresh Rate", 9);
    const auto boxes = boxesShownBy([&] { EXPECT_EQ(load(owner), 1); }, 1);
    EXPECT_STREQ(lastError.load(), "Can't read device ID.");
    EXPECT_EQ(rate, 0x55667788);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text(), expectedBoxText("RegQueryValueEx", ERROR_MORE_DATA));
    EXPECT_EQ(boxes[0].text().rfind("RegQueryValueEx failed with error 234\n", 0), 0u);
}

TEST_F(LoadSettings, ShortDeviceIdOverlaysTheNumberAndShowsTheThreadsLastError)
{
    const BYTE two[2] = {0x34, 0x12};
    storeValue("Device ID", REG_BINARY, two, 2);
    storeDword("Refresh Rate", 9);

    // The read succeeds with the wrong length, so there is no registry code
    // to show: the box shows the thread's last-error value, which successful
    // registry calls leave alone.
    SetLastError(ERROR_INVALID_DATA);
    const auto boxes = boxesShownBy([&] { EXPECT_EQ(load(owner), 1); }, 1);
    EXPECT_EQ(deviceNumber.load(), 0x11221234); // the two bytes lie over the low end
    EXPECT_EQ(rate, 0x55667788);
    EXPECT_STREQ(lastError.load(), "Can't read device ID.");
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text(), expectedBoxText("RegQueryValueEx", ERROR_INVALID_DATA));

    lastError.store(nullptr);
    EXPECT_EQ(load(nullptr), 1);
    EXPECT_STREQ(lastError.load(), "Can't read device ID.");
}

TEST_F(LoadSettings, MissingRefreshRateComesAfterTheDeviceNumberWasReplaced)
{
    storeDword("Device ID", 6);
    const auto boxes = boxesShownBy([&] { EXPECT_EQ(load(owner), 1); }, 1);
    EXPECT_EQ(deviceNumber.load(), 6);
    EXPECT_EQ(rate, 0x55667788);
    EXPECT_STREQ(lastError.load(), "Can't read refresh rate.");
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text(), expectedBoxText("RegQueryValueEx", ERROR_FILE_NOT_FOUND));

    const BYTE three[3] = {1, 0, 0};
    storeValue("Refresh Rate", REG_BINARY, three, 3);
    lastError.store(nullptr);
    EXPECT_EQ(load(nullptr), 1);
    EXPECT_EQ(rate & 0xFFFFFF, 1); // short data over the low end, top byte kept
    EXPECT_STREQ(lastError.load(), "Can't read refresh rate.");
}

TEST_F(LoadSettings, OnFailureTheKeyIsClosedBeforeLastErrorIsSetAndTheBoxComesLast)
{
    storeDword("Device ID", 6);
    lastErrorAtClose.clear();
    const char *lastErrorAtBox = nullptr;
    const WindowMatch box = WindowMatch::titled("Error", GetCurrentThreadId());
    WindowWatcher watcher({{box, [&](HWND window, const SeenWindow &seen) {
                                lastErrorAtBox = lastError.load();
                                return dismissWindow(window, seen);
                            }}});
    EXPECT_EQ(load(owner), 1);
    watcher.finish();
    ASSERT_TRUE(watcher.completed()) << watcher.failure();
    ASSERT_EQ(lastErrorAtClose.size(), 1u);
    EXPECT_EQ(lastErrorAtClose[0], nullptr);
    EXPECT_STREQ(lastErrorAtBox, "Can't read refresh rate.");
}

TEST_F(SaveSettings, CreatesTheWholeKeyPathAndBothDwords)
{
    EXPECT_EQ(saveSettings(nullptr, 4, 30), 0);
    DWORD type = 0;
    std::vector<BYTE> data;
    ASSERT_TRUE(storedValue("Device ID", &type, &data));
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(data, (std::vector<BYTE>{4, 0, 0, 0}));
    ASSERT_TRUE(storedValue("Refresh Rate", &type, &data));
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(data, (std::vector<BYTE>{30, 0, 0, 0}));
    EXPECT_EQ(lastError.load(), nullptr);

    // Stored as given, with no range test, and read back the same.
    EXPECT_EQ(boxesShownBy([&] { EXPECT_EQ(saveSettings(owner, -1, 0), 0); }, 0).size(), 0u);
    int32_t rate = 99;
    EXPECT_EQ(loadSettings(nullptr, &deviceNumber, &rate), 0);
    EXPECT_EQ(deviceNumber.load(), -1);
    EXPECT_EQ(rate, 0);
}

TEST_F(SaveSettings, KeyThatCannotBeCreatedIsReportedWithTheRegistryCode)
{
    // A volatile parent cannot hold the non-volatile settings key.
    HKEY volatileParent = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Orvendel", 0, nullptr, REG_OPTION_VOLATILE, KEY_WRITE,
                              nullptr, &volatileParent, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(volatileParent);

    EXPECT_EQ(boxesShownBy([&] { EXPECT_EQ(saveSettings(nullptr, 1, 2), 1); }, 0).size(), 0u);
    EXPECT_STREQ(lastError.load(), "Can't create registry key.");

    lastError.store(nullptr);
    const auto boxes = boxesShownBy([&] { EXPECT_EQ(saveSettings(owner, 1, 2), 1); }, 1);
    EXPECT_STREQ(lastError.load(), "Can't create registry key.");
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].title, "Error");
    EXPECT_EQ(boxes[0].text(), expectedBoxText("RegCreateKeyEx", ERROR_CHILD_MUST_BE_VOLATILE));
    EXPECT_EQ(boxes[0].owner, owner);
    DWORD type = 0;
    std::vector<BYTE> data;
    EXPECT_FALSE(storedValue("Device ID", &type, &data));
}

namespace {

// Lets the first `succeed` value writes through, then fails them.
int writesLeft = 0;
typedef LONG(WINAPI *SetValueFn)(HKEY, LPCSTR, DWORD, DWORD, const BYTE *, DWORD);
SetValueFn realSetValue;

LONG WINAPI failingSetValue(HKEY key, LPCSTR name, DWORD reserved, DWORD type, const BYTE *data, DWORD size)
{
    if (writesLeft-- > 0)
        return realSetValue(key, name, reserved, type, data, size);
    return ERROR_ACCESS_DENIED;
}

} // namespace

TEST_F(SaveSettings, FailedWritesStopWhereTheyFailed)
{
    seedSettings(1, 10);
    {
        ImportHook hook("ADVAPI32.dll", "RegSetValueExA", reinterpret_cast<const void *>(failingSetValue));
        ASSERT_TRUE(hook.installed());
        realSetValue = hook.original<SetValueFn>();

        writesLeft = 0;
        auto boxes = boxesShownBy([&] { EXPECT_EQ(saveSettings(owner, 2, 20), 1); }, 1);
        EXPECT_STREQ(lastError.load(), "Can't write device ID.");
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text(), expectedBoxText("RegSetValueEx", ERROR_ACCESS_DENIED));
        EXPECT_EQ(writesLeft, -1) << "\"Refresh Rate\" must not be tried after \"Device ID\" failed";

        writesLeft = 1;
        boxes = boxesShownBy([&] { EXPECT_EQ(saveSettings(owner, 3, 30), 1); }, 1);
        EXPECT_STREQ(lastError.load(), "Can't write refresh rate.");
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text(), expectedBoxText("RegSetValueEx", ERROR_ACCESS_DENIED));

        writesLeft = 0;
        lastError.store(nullptr);
        EXPECT_EQ(saveSettings(nullptr, 4, 40), 1);
        EXPECT_STREQ(lastError.load(), "Can't write device ID.");
    }
    // The new device number stands beside the old refresh rate.
    int32_t rate = 0;
    EXPECT_EQ(loadSettings(nullptr, &deviceNumber, &rate), 0);
    EXPECT_EQ(deviceNumber.load(), 3);
    EXPECT_EQ(rate, 10);
}

TEST_F(SaveSettings, NeitherOperationClearsAnEarlierFailure)
{
    int32_t rate = 0;
    EXPECT_EQ(loadSettings(nullptr, &deviceNumber, &rate), 1);
    EXPECT_STREQ(lastError.load(), "Can't open registry key.");
    EXPECT_EQ(saveSettings(nullptr, 5, 50), 0);
    EXPECT_EQ(loadSettings(nullptr, &deviceNumber, &rate), 0);
    EXPECT_EQ(deviceNumber.load(), 5);
    EXPECT_STREQ(lastError.load(), "Can't open registry key.");
}
