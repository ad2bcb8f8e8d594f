#include "host/process/storedSettings.h"

#include <windows.h>

#include "core/settingsNames.h"

std::optional<int32_t> storedSetting(const char *name)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return std::nullopt;
    int32_t value = 0;
    static_assert(sizeof value == kSettingSize, "a setting fills an int32_t");
    DWORD size = sizeof value;
    const LONG result = RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE *>(&value), &size);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS || size != kSettingSize)
        return std::nullopt;
    return value;
}

std::optional<int> storedDeviceNumber()
{
    return storedSetting(kDeviceIdValue);
}
