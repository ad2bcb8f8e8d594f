#include "host/plugin/storedSettings.h"

#include <windows.h>

const char kPluginSettingsKey[] = "Software\\Orvendel\\Plugins\\VORN";

std::optional<int32_t> storedSetting(const char *name)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kPluginSettingsKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return std::nullopt;
    int32_t value = 0;
    DWORD size = sizeof value;
    const LONG result = RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE *>(&value), &size);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS || size != sizeof value)
        return std::nullopt;
    return value;
}

std::optional<int> storedDeviceNumber()
{
    return storedSetting("Device ID");
}
