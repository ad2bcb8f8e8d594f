#include "bench/settingsSeed.h"

namespace {

const char *const kKeyPath[] = {"Software\\Orvendel", "Software\\Orvendel\\Plugins",
                                "Software\\Orvendel\\Plugins\\VORN"};

bool keyExists(const char *path)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

} // namespace

bool SettingsSeed::seed(DWORD deviceId, DWORD refreshRate)
{
    restore();
    for (const char *path : kKeyPath) {
        if (!keyExists(path))
            createdKeys_.push_back(path);
    }
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kKeyPath[2], 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return false;
    seeded_ = true;
    for (SavedValue &v : saved_) {
        DWORD size = 0;
        v.existed = RegQueryValueExA(key, v.name, nullptr, &v.type, nullptr, &size) == ERROR_SUCCESS;
        v.data.assign(size, 0);
        if (v.existed && size != 0 &&
            RegQueryValueExA(key, v.name, nullptr, &v.type, v.data.data(), &size) != ERROR_SUCCESS)
            v.existed = false;
    }
    const DWORD values[2] = {deviceId, refreshRate};
    bool ok = true;
    for (int i = 0; i < 2; ++i)
        ok = ok && RegSetValueExA(key, saved_[i].name, 0, REG_DWORD, reinterpret_cast<const BYTE *>(&values[i]),
                                  sizeof values[i]) == ERROR_SUCCESS;
    RegCloseKey(key);
    return ok;
}

void SettingsSeed::restore()
{
    if (!seeded_)
        return;
    seeded_ = false;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kKeyPath[2], 0, KEY_READ | KEY_WRITE, &key) == ERROR_SUCCESS) {
        for (SavedValue &v : saved_) {
            if (v.existed)
                RegSetValueExA(key, v.name, 0, v.type, v.data.data(), static_cast<DWORD>(v.data.size()));
            else
                RegDeleteValueA(key, v.name);
        }
        RegCloseKey(key);
    }
    // Keys this seed created, deepest first; a key that has gained other
    // contents meanwhile stays (RegDeleteKey refuses keys with subkeys).
    for (auto it = createdKeys_.rbegin(); it != createdKeys_.rend(); ++it)
        RegDeleteKeyA(HKEY_CURRENT_USER, it->c_str());
    createdKeys_.clear();
}

bool SettingsSeed::damageRefreshRate()
{
    HKEY key = nullptr;
    if (!seeded_ || RegOpenKeyExA(HKEY_CURRENT_USER, kKeyPath[2], 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS)
        return false;
    const BYTE twoBytes[2] = {1, 0};
    const bool ok = RegSetValueExA(key, "Refresh Rate", 0, REG_BINARY, twoBytes, sizeof twoBytes) == ERROR_SUCCESS;
    RegCloseKey(key);
    return ok;
}
