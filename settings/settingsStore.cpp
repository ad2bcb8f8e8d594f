// The two settings in the current user's registry. Each call opens the key,
// does its work and closes it again; nothing is cached here.
//
// deviceNumber is shared with the poller thread, so a load never writes it
// piecemeal: the registry data goes into a local that starts as the
// variable's current value, and the local is stored back whole after the
// read. Short data therefore still overlays the start of the number, exactly
// as a read straight into the variable would.
#include "settings/settingsStore.h"

#include "settings/errorBox.h"
#include "state/moduleState.h"

namespace {

// Reports one failure: the key (if any) is already closed by the caller.
int fail(HWND parent, const char *errorText, const char *label, LONG code)
{
    lastError.store(errorText);
    if (parent != nullptr)
        showApiError(parent, label, static_cast<DWORD>(code));
    return 1;
}

// Reads one value of exactly kSettingSize bytes into *value. The type is not
// looked at.
// Returns the read call's result; *ok tells whether the value was usable.
LONG readDword(HKEY key, const char *name, int32_t *value, bool *ok)
{
    static_assert(sizeof *value == kSettingSize, "a setting fills an int32_t");
    DWORD size = sizeof *value;
    const LONG result = RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE *>(value), &size);
    *ok = result == ERROR_SUCCESS && size == kSettingSize;
    return result;
}

} // namespace

int loadSettings(HWND parent, std::atomic<int32_t> *deviceNumberOut, int32_t *refreshRateOut)
{
    HKEY key = nullptr;
    const LONG opened = RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_QUERY_VALUE, &key);
    if (opened != ERROR_SUCCESS)
        return fail(parent, "Can't open registry key.", "RegOpenKeyEx", opened);

    bool ok = false;
    int32_t device = deviceNumberOut->load();
    LONG result = readDword(key, kDeviceIdValue, &device, &ok);
    deviceNumberOut->store(device);
    if (!ok) {
        RegCloseKey(key);
        return fail(parent, "Can't read device ID.", "RegQueryValueEx", result);
    }

    int32_t rate = *refreshRateOut;
    result = readDword(key, kRefreshRateValue, &rate, &ok);
    *refreshRateOut = rate;
    if (!ok) {
        RegCloseKey(key);
        return fail(parent, "Can't read refresh rate.", "RegQueryValueEx", result);
    }

    RegCloseKey(key);
    return 0;
}

int saveSettings(HWND parent, int32_t deviceNumber, int32_t refreshRate)
{
    HKEY key = nullptr;
    const LONG created = RegCreateKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                         KEY_SET_VALUE, nullptr, &key, nullptr);
    if (created != ERROR_SUCCESS)
        return fail(parent, "Can't create registry key.", "RegCreateKeyEx", created);

    LONG result = RegSetValueExA(key, kDeviceIdValue, 0, REG_DWORD, reinterpret_cast<const BYTE *>(&deviceNumber),
                                 sizeof deviceNumber);
    if (result != ERROR_SUCCESS) {
        RegCloseKey(key);
        return fail(parent, "Can't write device ID.", "RegSetValueEx", result);
    }

    result = RegSetValueExA(key, kRefreshRateValue, 0, REG_DWORD, reinterpret_cast<const BYTE *>(&refreshRate),
                            sizeof refreshRate);
    if (result != ERROR_SUCCESS) {
        RegCloseKey(key);
        return fail(parent, "Can't write refresh rate.", "RegSetValueEx", result);
    }

    RegCloseKey(key);
    return 0;
}
