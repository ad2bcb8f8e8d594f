// Where the plug-in keeps its two settings in the current user's registry,
// and how they are stored: the settings store writes them, the plug-in's
// poller and vornhost read them, the bench stores them as a user would.
#pragma once

// Under HKEY_CURRENT_USER.
constexpr char kSettingsKey[] = "Software\\Orvendel\\Plugins\\VORN";

// The controller's D2XX device number and the poll interval in seconds.
constexpr char kDeviceIdValue[] = "Device ID";
constexpr char kRefreshRateValue[] = "Refresh Rate";

// Each is written as a REG_DWORD and read as exactly this many bytes,
// whatever its registry type: a value of another size counts as damaged.
constexpr unsigned kSettingSize = 4;
