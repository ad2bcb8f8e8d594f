// Shared by the dialog tests: VORN.dll loaded fresh for each test, a host
// window, a clean settings key, and helpers to run configure while a
// WindowWatcher plays the user.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/support/pluginModule.h"
#include "tests/support/systemText.h"
#include "tests/support/windowWatcher.h"

extern const char kDialogTitle[];

// The dialog and the error boxes, as shown on this thread.
WindowMatch dialogOnThisThread();
WindowMatch errorBoxOnThisThread();

// Makes the settings key read-only for everyone, so that saving fails with
// access denied while loading still works; unlockSettings undoes it.
void lockSettings();
void unlockSettings();

// Reads a stored value as a 32-bit number; false when missing or not REG_DWORD.
bool storedDword(const char *name, DWORD *value);

// Expects both settings stored, with these values.
void expectStoredSettings(DWORD deviceId, DWORD refreshRate);

// Saves a PNG of a window from the X display the tests run on, when
// ImageMagick's import and a display are there, and returns once the file is
// complete (the window must stay open until then); otherwise does nothing.
void saveScreenshot(HWND window, const char *fileName);

class DialogTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Stores the settings, then starts the plug-in for the host window (the
    // poller then reads them quietly and waits an hour for its first poll).
    void startPlugin(DWORD deviceId, DWORD refreshRate = 3600);
    // lastError as the meter functions report it, "" while it is null.
    std::string lastErrorText();
    // Calls entry (configure by default) while a watcher runs steps.
    std::vector<SeenWindow> runConfigure(std::vector<WatchStep> steps, int *result = nullptr,
                                         const char *entry = "configure");

    std::unique_ptr<PluginModule> plugin;
    HWND host = nullptr;
};
