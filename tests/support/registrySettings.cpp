#include "tests/support/registrySettings.h"

#include <gtest/gtest.h>

void clearSettings()
{
    RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Orvendel");
}

void seedSettings(DWORD deviceId, DWORD refreshRate)
{
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Orvendel\\Plugins\\VORN", 0, nullptr, 0, KEY_SET_VALUE,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExA(key, "Device ID", 0, REG_DWORD, reinterpret_cast<const BYTE *>(&deviceId), 4),
              ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExA(key, "Refresh Rate", 0, REG_DWORD, reinterpret_cast<const BYTE *>(&refreshRate), 4),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

bool waitUntil(const std::function<bool()> &condition, DWORD timeoutMs)
{
    const DWORD start = GetTickCount();
    for (;;) {
        if (condition())
            return true;
        if (GetTickCount() - start >= timeoutMs)
            return false;
        Sleep(5);
    }
}
