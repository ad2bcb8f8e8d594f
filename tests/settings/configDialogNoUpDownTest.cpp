// DialogBoxParamA failing (-1): configure says so in the "CreateDialog" box
// instead of showing the dialog. A host that never initialised the common
// controls does not cause it: user32 (Windows Vista and later, and Wine)
// loads comctl32 by itself when a dialog names an up-down control. What does
// is a process in which comctl32 cannot be loaded, so this program must not
// touch comctl32 at all, and CTest runs it with comctl32 disabled (see
// CMakeLists.txt).
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "tests/settings/dialogFixture.h"

namespace {

class ConfigureWithoutUpDown : public DialogTest {};

} // namespace

TEST_F(ConfigureWithoutUpDown, ShowsTheCreateDialogBoxOwnedByTheHostWindowAndReturnsZero)
{
    ASSERT_EQ(GetModuleHandleA("comctl32.dll"), nullptr);
    const char *overrides = std::getenv("WINEDLLOVERRIDES");
    if (GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr &&
        (overrides == nullptr || std::string(overrides).find("comctl32=d") == std::string::npos))
        GTEST_SKIP() << "run through CTest, which keeps Wine from loading comctl32";
    // Before dllstartup there is no host window: the box has no owner.
    int result = -1;
    auto seen = runConfigure({{WindowMatch::onThread(GetCurrentThreadId()), dismissWindow}}, &result);
    EXPECT_EQ(result, 0);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].title, "Error") << "the dialog must not open";
    EXPECT_EQ(seen[0].owner, nullptr);
    const std::string text = seen[0].text();
    ASSERT_EQ(text.rfind("CreateDialog failed with error ", 0), 0u) << text;
    // The code is the thread's last-error value after the failed creation.
    const long code = strtol(text.c_str() + 31, nullptr, 10);
    EXPECT_EQ(text,
              "CreateDialog failed with error " + std::to_string(code) + "\n" + systemText(static_cast<DWORD>(code)));

    startPlugin(0, 3600);
    result = -1;
    seen = runConfigure({{WindowMatch::onThread(GetCurrentThreadId()), dismissWindow}}, &result, "source_configure");
    EXPECT_EQ(result, 0);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].title, "Error");
    EXPECT_EQ(seen[0].owner, host);
    EXPECT_EQ(seen[0].text().rfind("CreateDialog failed with error ", 0), 0u);
}
