#include "tests/settings/settingsFixture.h"

#include "settings/settingsStore.h"
#include "state/moduleState.h"
#include "tests/support/registrySettings.h"

int SettingsTest::keysOpened = 0;
int SettingsTest::keysClosed = 0;
std::vector<const char *> SettingsTest::lastErrorAtClose;

namespace {

typedef LONG(WINAPI *OpenFn)(HKEY, LPCSTR, DWORD, REGSAM, PHKEY);
typedef LONG(WINAPI *CreateFn)(HKEY, LPCSTR, DWORD, LPSTR, DWORD, REGSAM, LPSECURITY_ATTRIBUTES, PHKEY, LPDWORD);
typedef LONG(WINAPI *CloseFn)(HKEY);

OpenFn realOpen;
CreateFn realCreate;
CloseFn realClose;

LONG WINAPI countingOpen(HKEY parent, LPCSTR name, DWORD options, REGSAM access, PHKEY key)
{
    const LONG result = realOpen(parent, name, options, access, key);
    if (result == ERROR_SUCCESS)
        ++SettingsTest::keysOpened;
    return result;
}

LONG WINAPI countingCreate(HKEY parent, LPCSTR name, DWORD reserved, LPSTR keyClass, DWORD options, REGSAM access,
                           LPSECURITY_ATTRIBUTES security, PHKEY key, LPDWORD disposition)
{
    const LONG result = realCreate(parent, name, reserved, keyClass, options, access, security, key, disposition);
    if (result == ERROR_SUCCESS)
        ++SettingsTest::keysOpened;
    return result;
}

LONG WINAPI countingClose(HKEY key)
{
    ++SettingsTest::keysClosed;
    SettingsTest::lastErrorAtClose.push_back(lastError.load());
    return realClose(key);
}

} // namespace

std::string expectedBoxText(const std::string &label, DWORD code)
{
    return label + " failed with error " + std::to_string(static_cast<int>(code)) + "\n" + systemText(code);
}

void storeValue(const char *name, DWORD type, const void *data, DWORD size)
{
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExA(key, name, 0, type, static_cast<const BYTE *>(data), size), ERROR_SUCCESS);
    RegCloseKey(key);
}

bool storedValue(const char *name, DWORD *type, std::vector<BYTE> *data)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return false;
    BYTE buffer[64];
    DWORD size = sizeof buffer;
    const LONG result = RegQueryValueExA(key, name, nullptr, type, buffer, &size);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS)
        return false;
    data->assign(buffer, buffer + size);
    return true;
}

void SettingsTest::SetUp()
{
    clearSettings();
    lastError.store(nullptr);
    deviceNumber.store(0);
    owner = CreateWindowExA(0, "STATIC", "settings test owner", WS_OVERLAPPED, 0, 0, 100, 50, nullptr, nullptr,
                            GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(owner, nullptr);

    keysOpened = keysClosed = 0;
    lastErrorAtClose.clear();
    openHook_.reset(new ImportHook("ADVAPI32.dll", "RegOpenKeyExA", reinterpret_cast<const void *>(countingOpen)));
    createHook_.reset(
        new ImportHook("ADVAPI32.dll", "RegCreateKeyExA", reinterpret_cast<const void *>(countingCreate)));
    closeHook_.reset(new ImportHook("ADVAPI32.dll", "RegCloseKey", reinterpret_cast<const void *>(countingClose)));
    ASSERT_TRUE(openHook_->installed() && createHook_->installed() && closeHook_->installed());
    realOpen = openHook_->original<OpenFn>();
    realCreate = createHook_->original<CreateFn>();
    realClose = closeHook_->original<CloseFn>();
}

void SettingsTest::TearDown()
{
    closeHook_.reset();
    createHook_.reset();
    openHook_.reset();
    // Every key opened on any path, failures included, was closed once.
    EXPECT_EQ(keysClosed, keysOpened);
    if (owner != nullptr)
        DestroyWindow(owner);
    clearSettings();
}

std::vector<SeenWindow> SettingsTest::boxesShownBy(const std::function<void()> &call, size_t expected)
{
    const WindowMatch onThisThread = WindowMatch::onThread(GetCurrentThreadId());
    std::vector<WatchStep> steps(expected, WatchStep{onThisThread, dismissWindow, 0});
    // One box too many: watched for as long as the call runs, since only
    // the call can show it.
    steps.push_back(WatchStep{onThisThread, dismissWindow, 0, true});
    WindowWatcher watcher(steps);
    call();
    std::vector<SeenWindow> seen = watcher.finish();
    EXPECT_TRUE(watcher.leftovers().empty());
    return seen;
}
