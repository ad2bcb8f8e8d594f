// Shared set-up of the settings tests: a clean HKCU\Software\Orvendel before
// and after each test, fresh module state, an owner window for the boxes,
// and a count of the registry keys the code opens and closes.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/importHook.h"
#include "tests/support/systemText.h"
#include "tests/support/windowWatcher.h"

// The whole text of an error box.
std::string expectedBoxText(const std::string &label, DWORD code);

// Stores one value of any type under the settings key, creating the key.
void storeValue(const char *name, DWORD type, const void *data, DWORD size);
// Reads one value back: its type and bytes; false when it is missing.
bool storedValue(const char *name, DWORD *type, std::vector<BYTE> *data);

class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Runs call on this thread while a watcher reads and dismisses the boxes
    // it shows. Returns every box seen: one more than expected is caught too.
    std::vector<SeenWindow> boxesShownBy(const std::function<void()> &call, size_t expected);

    HWND owner = nullptr;

public:
    // Keys opened (successful open or create) and closed since SetUp, and
    // the lastError text at each close.
    static int keysOpened;
    static int keysClosed;
    static std::vector<const char *> lastErrorAtClose;

private:
    std::unique_ptr<ImportHook> openHook_, createHook_, closeHook_;
};
