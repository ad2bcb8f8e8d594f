// showApiError: the text it builds from a label, a code and the system's
// text, where code 0 comes from, and that it always shows a box and frees
// what it allocated, whatever the system gives it.
#include <gtest/gtest.h>

#include "settings/errorBox.h"
#include "tests/settings/settingsFixture.h"

namespace {

class ErrorBox : public SettingsTest {
protected:
    SeenWindow show(HWND parent, const char *label, DWORD code, DWORD threadLastError = 0)
    {
        std::vector<SeenWindow> boxes = boxesShownBy(
            [&] {
                SetLastError(threadLastError);
                showApiError(parent, label, code);
            },
            1);
        EXPECT_EQ(boxes.size(), 1u);
        return boxes.empty() ? SeenWindow() : boxes[0];
    }
};

// Counts this program's LocalAlloc and LocalFree calls; optionally fails
// every LocalAlloc.
int allocations = 0;
int frees = 0;
bool failAllocations = false;
typedef HLOCAL(WINAPI *LocalAllocFn)(UINT, SIZE_T);
typedef HLOCAL(WINAPI *LocalFreeFn)(HLOCAL);
LocalAllocFn realLocalAlloc;
LocalFreeFn realLocalFree;

HLOCAL WINAPI countingLocalAlloc(UINT flags, SIZE_T size)
{
    if (failAllocations)
        return nullptr;
    ++allocations;
    return realLocalAlloc(flags, size);
}

HLOCAL WINAPI countingLocalFree(HLOCAL block)
{
    ++frees;
    return realLocalFree(block);
}

} // namespace

TEST_F(ErrorBox, LabelCodeAndSystemTextInAnOwnedOkBox)
{
    const SeenWindow box = show(owner, "RegOpenKeyEx", ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(box.title, "Error");
    EXPECT_EQ(box.text(), expectedBoxText("RegOpenKeyEx", ERROR_FILE_NOT_FOUND));
    EXPECT_NE(systemText(ERROR_FILE_NOT_FOUND), ""); // the second line is really there
    EXPECT_EQ(box.owner, owner);
    EXPECT_EQ(box.buttons(), std::vector<std::string>{"OK"});
    EXPECT_FALSE(box.hasIcon());

    // Without a parent the box has no owner.
    EXPECT_EQ(show(nullptr, "RegOpenKeyEx", ERROR_FILE_NOT_FOUND).owner, nullptr);
}

TEST_F(ErrorBox, CodeZeroStandsForTheThreadsLastError)
{
    EXPECT_EQ(show(owner, "CreateDialog", 0, ERROR_ACCESS_DENIED).text(),
              expectedBoxText("CreateDialog", ERROR_ACCESS_DENIED));
    // Last-error 0 as well: the number 0 and the system's text for 0.
    EXPECT_EQ(show(owner, "Read devise ID", 0, 0).text(), expectedBoxText("Read devise ID", 0));
    EXPECT_EQ(show(owner, "Read devise ID", 0, 0).text().rfind("Read devise ID failed with error 0\n", 0), 0u);
}

TEST_F(ErrorBox, CodesWithoutSystemTextStillShowLabelAndCode)
{
    // Nothing after the line feed when the system has no text for the code.
    EXPECT_EQ(show(owner, "Step", 12345678).text(), "Step failed with error 12345678\n");
    // Codes are shown signed, as an HRESULT would be.
    EXPECT_EQ(show(owner, "Step", 0xA0001234u).text(), "Step failed with error -1610608076\n");
    // A system text with inserts that are not filled in gives no text either
    // (or the system's own), never a crash.
    EXPECT_EQ(show(owner, "Step", ERROR_BAD_EXE_FORMAT).text(), expectedBoxText("Step", ERROR_BAD_EXE_FORMAT));
    // A long label is not cut.
    const std::string label(600, 'x');
    EXPECT_EQ(show(owner, label.c_str(), ERROR_FILE_NOT_FOUND).text(), expectedBoxText(label, ERROR_FILE_NOT_FOUND));
}

TEST_F(ErrorBox, FreesBothTextsAndCopesWithoutMemory)
{
    ImportHook allocHook("KERNEL32.dll", "LocalAlloc", reinterpret_cast<const void *>(countingLocalAlloc));
    ImportHook freeHook("KERNEL32.dll", "LocalFree", reinterpret_cast<const void *>(countingLocalFree));
    ASSERT_TRUE(allocHook.installed() && freeHook.installed());
    realLocalAlloc = allocHook.original<LocalAllocFn>();
    realLocalFree = freeHook.original<LocalFreeFn>();

    allocations = frees = 0;
    failAllocations = false;
    show(owner, "RegSetValueEx", ERROR_ACCESS_DENIED);
    EXPECT_EQ(allocations, 1);
    EXPECT_EQ(frees, 2); // the system's text and the box text

    allocations = frees = 0;
    show(owner, "Step", 12345678); // no system text to free
    EXPECT_EQ(allocations, 1);
    EXPECT_EQ(frees, 1);

    // No memory for the box text: the box still comes, with the same text.
    const std::string expected = expectedBoxText("RegSetValueEx", ERROR_ACCESS_DENIED);
    allocations = frees = 0;
    failAllocations = true;
    const SeenWindow box = show(owner, "RegSetValueEx", ERROR_ACCESS_DENIED);
    failAllocations = false;
    EXPECT_EQ(frees, 1); // the system's text
    EXPECT_EQ(box.text(), expected);
    EXPECT_EQ(box.owner, owner);
}
