// The plug-in's two settings (core/settingsNames.h) as its poller reads them
// at every poll, for the parts of vornhost that must act as the plug-in would
// without asking it: the device number that a duty goes to when vornhost
// sends it itself, and the refresh interval that tells how long a first poll
// may take.
#pragma once

#include <cstdint>
#include <optional>

// A value of the settings key read as the plug-in reads it: exactly
// kSettingSize bytes, whatever their registry type; none when the key or the
// value is missing or of another size.
std::optional<int32_t> storedSetting(const char *name);

// The device number the plug-in uses: its "Device ID". None when it is not
// stored: the plug-in then does not poll or send at all.
std::optional<int> storedDeviceNumber();
