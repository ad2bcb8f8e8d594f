// The plug-in's two settings seeded in HKCU for the time of a measurement,
// and the registry put back as it was afterwards: values that were there get
// their old data back, values and keys that were not are removed.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

class SettingsSeed {
public:
    SettingsSeed() = default;
    ~SettingsSeed() { restore(); }
    SettingsSeed(const SettingsSeed &) = delete;
    SettingsSeed &operator=(const SettingsSeed &) = delete;

    // Stores "Device ID" and "Refresh Rate" as REG_DWORD; false on failure.
    bool seed(DWORD deviceId, DWORD refreshRate);
    // After seed: a two-byte "Refresh Rate", which loadSettings refuses.
    bool damageRefreshRate();
    void restore();

private:
    struct SavedValue {
        explicit SavedValue(const char *valueName) : name(valueName) {}
        const char *name;
        bool existed = false;
        DWORD type = 0;
        std::vector<BYTE> data;
    };
    bool seeded_ = false;
    std::vector<std::string> createdKeys_; // deepest last
    SavedValue saved_[2] = {SavedValue("Device ID"), SavedValue("Refresh Rate")};
};
