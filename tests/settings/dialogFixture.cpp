#include "tests/settings/dialogFixture.h"

#include <sddl.h>

#include <cstring>

#include "plugin/exports.h"
#include "tests/support/registrySettings.h"

const char kDialogTitle[] = "VORN Configuration";

namespace {

const char kSettingsKey[] = "Software\\Orvendel\\Plugins\\VORN";

void setSettingsDacl(const char *sddl)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, WRITE_DAC, &key) != ERROR_SUCCESS)
        return;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &descriptor, nullptr)) {
        EXPECT_EQ(RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, descriptor), ERROR_SUCCESS);
        LocalFree(descriptor);
    }
    RegCloseKey(key);
}

} // namespace

WindowMatch dialogOnThisThread()
{
    return WindowMatch::titled(kDialogTitle, GetCurrentThreadId());
}

WindowMatch errorBoxOnThisThread()
{
    return WindowMatch::titled("Error", GetCurrentThreadId());
}

void lockSettings()
{
    setSettingsDacl("D:P(A;;KR;;;WD)"); // everyone may read, nobody may write
}

void unlockSettings()
{
    setSettingsDacl("D:(A;;KA;;;WD)");
}

bool storedDword(const char *name, DWORD *value)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return false;
    DWORD type = 0, size = sizeof *value;
    const LONG result = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE *>(value), &size);
    RegCloseKey(key);
    return result == ERROR_SUCCESS && type == REG_DWORD && size == sizeof *value;
}

void expectStoredSettings(DWORD deviceId, DWORD refreshRate)
{
    DWORD device = 0, rate = 0;
    EXPECT_TRUE(storedDword("Device ID", &device));
    EXPECT_TRUE(storedDword("Refresh Rate", &rate));
    EXPECT_EQ(device, deviceId);
    EXPECT_EQ(rate, refreshRate);
}

namespace {

// A PNG ends with its IEND chunk, which import writes last.
bool completePng(const std::string &path)
{
    static const unsigned char kEnd[12] = {0, 0, 0, 0, 'I', 'E', 'N', 'D', 0xAE, 0x42, 0x60, 0x82};
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    unsigned char tail[sizeof kEnd] = {};
    DWORD read = 0;
    const bool complete =
        SetFilePointer(file, -static_cast<LONG>(sizeof tail), nullptr, FILE_END) != INVALID_SET_FILE_POINTER &&
        ReadFile(file, tail, sizeof tail, &read, nullptr) && read == sizeof tail &&
        memcmp(tail, kEnd, sizeof tail) == 0;
    CloseHandle(file);
    return complete;
}

} // namespace

void saveScreenshot(HWND window, const char *fileName)
{
    char display[256];
    if (GetEnvironmentVariableA("DISPLAY", display, sizeof display) == 0 ||
        GetFileAttributesA("Z:\\usr\\bin\\import") == INVALID_FILE_ATTRIBUTES)
        return;
    // Wine keeps the X window of each top-level window in this property.
    const auto xWindow = reinterpret_cast<ULONG_PTR>(GetPropA(window, "__wine_x11_whole_window"));
    char directory[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, directory);
    if (xWindow == 0 || _strnicmp(directory, "Z:\\", 3) != 0)
        return;
    const std::string windowsPath = std::string(directory) + "\\" + fileName;
    std::string unixPath = windowsPath.substr(2);
    for (char &c : unixPath)
        if (c == '\\')
            c = '/';
    DeleteFileA(windowsPath.c_str());
    Sleep(300); // let the dialog paint
    // start.exe returns as soon as a Unix program has started, so the window
    // must stay open until the picture is on disk; timeout ends an import
    // that cannot find the window instead of letting it wait for a click.
    char command[1024];
    snprintf(command, sizeof command, "start.exe /unix /usr/bin/timeout 10 /usr/bin/import -window 0x%lx %s",
             static_cast<unsigned long>(xWindow), unixPath.c_str());
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, command, nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                        &process))
        return;
    if (WaitForSingleObject(process.hProcess, 15000) != WAIT_OBJECT_0)
        TerminateProcess(process.hProcess, 1);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    waitUntil([&] { return completePng(windowsPath); }, 12000);
}

void DialogTest::SetUp()
{
    unlockSettings();
    clearSettings();
    plugin.reset(new PluginModule);
    ASSERT_TRUE(plugin->loaded());
    host = CreateWindowExA(0, "STATIC", "VORN test host", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr, nullptr,
                           GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(host, nullptr);
}

void DialogTest::TearDown()
{
    // Anything still open (a box of the poller's, say) goes before the
    // plug-in is unloaded.
    closeAllDialogs(3000);
    plugin.reset();
    if (host != nullptr)
        DestroyWindow(host);
    unlockSettings();
    clearSettings();
}

void DialogTest::startPlugin(DWORD deviceId, DWORD refreshRate)
{
    seedSettings(deviceId, refreshRate);
    void *block = plugin->get<DllStartupFn>("dllstartup")(host, 0);
    plugin->get<DllShutdownFn>("dllshutdown")(block);
    Sleep(300); // the poller reads the settings as it starts
}

std::string DialogTest::lastErrorText()
{
    char buffer[64] = "";
    const char *result = plugin->get<MeterFn>("GetValue")(buffer, "1");
    return result == buffer ? std::string() : std::string(result);
}

std::vector<SeenWindow> DialogTest::runConfigure(std::vector<WatchStep> steps, int *result, const char *entry)
{
    WindowWatcher watcher(std::move(steps));
    int returned = -1;
    if (std::string(entry).find("source_configure") != std::string::npos)
        returned = plugin->get<SourceConfigureFn>(entry)(0x12345678, -1);
    else
        returned = plugin->get<ConfigureFn>(entry)();
    std::vector<SeenWindow> seen = watcher.finish();
    EXPECT_TRUE(watcher.completed()) << watcher.failure();
    EXPECT_TRUE(watcher.leftovers().empty())
        << watcher.leftovers().size() << " window(s) left open, first \"" << watcher.leftovers()[0].title << "\"";
    if (result != nullptr)
        *result = returned;
    return seen;
}
