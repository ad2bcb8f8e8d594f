// The compiled dialog template 101 and the version block, read back from
// VORN.dll: a later edit of the resource script (or a resource compiler that
// adds styles of its own) must not change the dialog unnoticed.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "settings/configDialogIds.h"
#include "tests/support/pluginModule.h"

namespace {

// A reader for the extended dialog template (DLGTEMPLATEEX / DLGITEMTEMPLATEEX).
class TemplateReader {
public:
    TemplateReader(const BYTE *data, DWORD size) : data_(data), size_(size) {}

    WORD word() { return take<WORD>(); }
    DWORD dword() { return take<DWORD>(); }
    short shortValue() { return static_cast<short>(take<WORD>()); }
    BYTE byte() { return take<BYTE>(); }
    void alignToDword() { offset_ = (offset_ + 3) & ~static_cast<DWORD>(3); }
    bool ok() const { return ok_; }

    // A name-or-ordinal field: "#<number>" for an ordinal, else the text.
    std::string nameOrOrdinal()
    {
        if (peekWord() == 0xFFFF) {
            word();
            return "#" + std::to_string(word());
        }
        return text();
    }

    std::string text()
    {
        std::string result;
        for (WORD c; ok_ && (c = word()) != 0;)
            result += static_cast<char>(c < 0x80 ? c : '?');
        return result;
    }

private:
    template <class T>
    T take()
    {
        T value{};
        if (offset_ + sizeof(T) > size_) {
            ok_ = false;
            return value;
        }
        memcpy(&value, data_ + offset_, sizeof(T));
        offset_ += sizeof(T);
        return value;
    }
    WORD peekWord() const
    {
        WORD value = 0;
        if (offset_ + 2 <= size_)
            memcpy(&value, data_ + offset_, 2);
        return value;
    }

    const BYTE *data_;
    DWORD size_;
    DWORD offset_ = 0;
    bool ok_ = true;
};

struct ExpectedControl {
    int id;
    const char *windowClass; // "#128" etc. for the predefined classes
    const char *text;
    short x, y, cx, cy;
    DWORD style;
    DWORD exStyle;
};

const char kHelpText[] =
    "Enter the USB Device ID number for the Vorncontrol.\r"
    "Run the Vorncontrol software and look under the menu\r"
    "item Options/USB Connection and the block for the API\r"
    "controller.  It list the device number.";

// Template order is also tab order, and each spin button takes the control
// just before it as its buddy.
const ExpectedControl kControls[] = {
    {refreshRateEdit, "#129", "", 108, 86, 40, 12, 0x50002881, 0},
    {refreshRateSpin, "msctls_updown32", "Spin1", 153, 85, 12, 14, 0x500000B2, 0},
    {IDOK, "#128", "OK", 51, 119, 50, 14, 0x50010001, 0},
    {IDCANCEL, "#128", "Cancel", 117, 119, 50, 14, 0x50010000, 0},
    {-1, "#130", "USB Device ID:", 41, 64, 52, 8, 0x50020000, 0},
    {-1, "#130", "Refresh Rate (sec):", 42, 88, 62, 8, 0x50020000, 0},
    {-1, "#130", kHelpText, 18, 14, 180, 35, 0x50020000, WS_EX_TRANSPARENT},
    {deviceIdEdit, "#129", "", 108, 62, 40, 12, 0x50002881, 0},
    {deviceIdSpin, "msctls_updown32", "Spin1", 153, 61, 12, 14, 0x500000B2, 0},
};

} // namespace

TEST(DialogTemplate, HeaderAndEveryControlAsDesigned)
{
    PluginModule plugin;
    ASSERT_TRUE(plugin.loaded());
    HRSRC resource =
        FindResourceExA(plugin.handle(), MAKEINTRESOURCEA(5) /* RT_DIALOG */, MAKEINTRESOURCEA(configDialogTemplate),
                        MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
    ASSERT_NE(resource, nullptr) << "no dialog 101 in language 1033";
    HGLOBAL loaded = LoadResource(plugin.handle(), resource);
    ASSERT_NE(loaded, nullptr);
    TemplateReader in(static_cast<const BYTE *>(LockResource(loaded)), SizeofResource(plugin.handle(), resource));

    EXPECT_EQ(in.word(), 1);            // dlgVer: an extended template
    EXPECT_EQ(in.word(), 0xFFFF);       // signature
    EXPECT_EQ(in.dword(), 0u);          // help id
    EXPECT_EQ(in.dword(), 0u);          // extended style
    EXPECT_EQ(in.dword(), 0x80C800C0u); // DS_SETFONT | DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU
    const WORD count = in.word();
    EXPECT_EQ(count, sizeof kControls / sizeof kControls[0]);
    EXPECT_EQ(in.shortValue(), 0);
    EXPECT_EQ(in.shortValue(), 0);
    EXPECT_EQ(in.shortValue(), 213);
    EXPECT_EQ(in.shortValue(), 140);
    EXPECT_EQ(in.nameOrOrdinal(), ""); // no menu
    EXPECT_EQ(in.nameOrOrdinal(), ""); // the default dialog class
    EXPECT_EQ(in.text(), "VORN Configuration");
    EXPECT_EQ(in.word(), 8); // points
    EXPECT_EQ(in.word(), 0); // weight
    EXPECT_EQ(in.byte(), 0); // not italic
    EXPECT_EQ(in.byte(), 1); // DEFAULT_CHARSET
    EXPECT_EQ(in.text(), "MS Sans Serif");

    for (size_t i = 0; i < count && i < sizeof kControls / sizeof kControls[0]; ++i) {
        const ExpectedControl &want = kControls[i];
        SCOPED_TRACE("control " + std::to_string(i + 1));
        in.alignToDword();
        EXPECT_EQ(in.dword(), 0u); // help id
        EXPECT_EQ(in.dword(), want.exStyle);
        EXPECT_EQ(in.dword(), want.style);
        EXPECT_EQ(in.shortValue(), want.x);
        EXPECT_EQ(in.shortValue(), want.y);
        EXPECT_EQ(in.shortValue(), want.cx);
        EXPECT_EQ(in.shortValue(), want.cy);
        EXPECT_EQ(static_cast<int>(in.dword()), want.id);
        EXPECT_EQ(in.nameOrOrdinal(), want.windowClass);
        EXPECT_EQ(in.nameOrOrdinal(), want.text);
        EXPECT_EQ(in.word(), 0); // no creation data
    }
    EXPECT_TRUE(in.ok()) << "the template is shorter than its controls";
}

TEST(DialogTemplate, VersionBlockNamesTheProductAndVersion)
{
    PluginModule plugin;
    ASSERT_TRUE(plugin.loaded());
    char path[MAX_PATH] = {};
    ASSERT_GT(GetModuleFileNameA(plugin.handle(), path, MAX_PATH), 0u);
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(path, &ignored);
    ASSERT_GT(size, 0u) << "no version block";
    std::vector<BYTE> block(size);
    ASSERT_TRUE(GetFileVersionInfoA(path, 0, size, block.data()));

    VS_FIXEDFILEINFO *fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\", reinterpret_cast<void **>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010001u); // 1.1
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));

    for (const char *name : {"ProductName", "FileDescription", "FileVersion", "OriginalFilename"}) {
        char *value = nullptr;
        const std::string key = std::string("\\StringFileInfo\\040904B0\\") + name;
        ASSERT_TRUE(VerQueryValueA(block.data(), key.c_str(), reinterpret_cast<void **>(&value), &length)) << name;
        EXPECT_GT(length, 1u) << name;
    }
    char *fileVersion = nullptr;
    VerQueryValueA(block.data(), "\\StringFileInfo\\040904B0\\FileVersion", reinterpret_cast<void **>(&fileVersion),
                   &length);
    EXPECT_STREQ(fileVersion, "1.1");
}
