// What keeps the service from being turned against its machine, where Wine
// cannot show it on disk (it keeps no file's security descriptor): the
// check of the data folder and its files, fed attributes and descriptors
// built in memory, refuses what another account may change and accepts
// what the installer sets; and the Event Log's texts, which Event Viewer
// makes from vornhost.exe's message table and the entry's one insert, come
// out as written, °C and all.
#include <windows.h>

#include <gtest/gtest.h>
#include <sddl.h>

#include <string>
#include <vector>

#include "eventMessages.h"
#include "host/security/writeCheck.h"
#include "host/service/eventLog.h"

namespace {

// A descriptor from SDDL, freed at the end of the scope.
class Descriptor {
public:
    explicit Descriptor(const std::string &sddl)
    {
        if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl.c_str(), SDDL_REVISION_1, &descriptor_, nullptr))
            descriptor_ = nullptr;
    }
    ~Descriptor() { LocalFree(descriptor_); }
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;
    PSECURITY_DESCRIPTOR get() const { return descriptor_; }

private:
    PSECURITY_DESCRIPTOR descriptor_ = nullptr;
};

std::vector<BYTE> wellKnown(WELL_KNOWN_SID_TYPE type)
{
    std::vector<BYTE> sid(SECURITY_MAX_SID_SIZE);
    DWORD size = static_cast<DWORD>(sid.size());
    if (!CreateWellKnownSid(type, nullptr, sid.data(), &size))
        return {};
    sid.resize(size);
    return sid;
}

const DWORD kFolder = FILE_ATTRIBUTE_DIRECTORY;
const char kUser[] = "S-1-5-21-1004336348-1177238915-682003330-1001";

// The refusal for a folder with `sddl`, for a service running as
// LocalService.
std::string folderRefusal(const std::string &sddl, DWORD attributes = kFolder)
{
    const Descriptor descriptor(sddl);
    EXPECT_NE(descriptor.get(), nullptr) << sddl;
    std::vector<BYTE> localService = wellKnown(WinLocalServiceSid);
    return writeRefusal(attributes, descriptor.get(), localService.data());
}

} // namespace

TEST(DataFolderCheck, AcceptsWhatTheInstallerSetsForEitherAccount)
{
    EXPECT_EQ(folderRefusal(dataFolderSddl("LS")), "");
    EXPECT_EQ(folderRefusal(dataFileSddl("LS"), FILE_ATTRIBUTE_ARCHIVE), "");
    // LocalSystem's folder lets no other service account write.
    EXPECT_EQ(dataFolderSddl("SY").find(";;;LS)"), std::string::npos) << dataFolderSddl("SY");
    std::vector<BYTE> system = wellKnown(WinLocalSystemSid);
    const Descriptor forSystem(dataFolderSddl("SY"));
    EXPECT_EQ(writeRefusal(kFolder, forSystem.get(), system.data()), "");
    // ... and a LocalService folder is no LocalSystem service's.
    const Descriptor forLocalService(dataFolderSddl("LS"));
    EXPECT_NE(writeRefusal(kFolder, forLocalService.get(), system.data()).find("LOCAL SERVICE may write it"),
              std::string::npos);
}

TEST(DataFolderCheck, RefusesAFolderAUserOwnsOrMayWrite)
{
    const std::string safeDacl = "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FRFX;;;BU)";
    EXPECT_EQ(folderRefusal("O:BA" + safeDacl), "");
    EXPECT_EQ(folderRefusal("O:SY" + safeDacl), "");

    EXPECT_EQ(folderRefusal(std::string("O:") + kUser + safeDacl),
              std::string("it is owned by the account ") + kUser + ", who may give anyone the right to write it");
    EXPECT_EQ(folderRefusal("O:BA" + safeDacl + "(A;OICI;FA;;;WD)"), "Everyone may write it");
    // Any one right that changes the folder is enough: add a file, change
    // the permissions, delete.
    EXPECT_EQ(folderRefusal("O:BAD:P(A;OICI;FA;;;SY)(A;;0x2;;;BU)"), "BUILTIN\\Users may write it");
    EXPECT_EQ(folderRefusal("O:BAD:P(A;OICI;FA;;;SY)(A;;WD;;;AU)"), "NT AUTHORITY\\Authenticated Users may write it");
    EXPECT_EQ(folderRefusal("O:BAD:P(A;OICI;FA;;;SY)(A;OICIIO;GA;;;BU)"), "BUILTIN\\Users may write it");
    EXPECT_EQ(folderRefusal("O:BAD:P(A;OICI;FA;;;SY)(A;;SD;;;IU)"), "NT AUTHORITY\\INTERACTIVE may write it");
    // An entry that only denies is no reason.
    EXPECT_EQ(folderRefusal("O:BAD:P(D;;FA;;;WD)(A;;FA;;;SY)"), "");
}

TEST(DataFolderCheck, RefusesNoPermissionListAndEntriesItDoesNotRead)
{
    std::vector<BYTE> administrators = wellKnown(WinBuiltinAdministratorsSid);
    std::vector<BYTE> world = wellKnown(WinWorldSid);
    std::vector<BYTE> localService = wellKnown(WinLocalServiceSid);
    SECURITY_DESCRIPTOR descriptor;
    ASSERT_TRUE(InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION));
    ASSERT_TRUE(SetSecurityDescriptorOwner(&descriptor, administrators.data(), FALSE));
    // No list at all: everyone may do anything.
    ASSERT_TRUE(SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, FALSE));
    EXPECT_EQ(writeRefusal(kFolder, &descriptor, localService.data()),
              "it has no permission list, so everyone may write it");
    // An allowing entry of a kind with a condition (a callback entry) for
    // Everyone, built by hand: read as if it allowed everything.
    std::vector<BYTE> entry(sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD) + world.size());
    auto *ace = reinterpret_cast<ACCESS_ALLOWED_ACE *>(entry.data());
    ace->Header.AceType = ACCESS_ALLOWED_CALLBACK_ACE_TYPE;
    ace->Header.AceSize = static_cast<WORD>(entry.size());
    ace->Mask = FILE_GENERIC_READ;
    CopySid(static_cast<DWORD>(world.size()), &ace->SidStart, world.data());
    std::vector<BYTE> acl(sizeof(ACL) + entry.size() + 16);
    ASSERT_TRUE(InitializeAcl(reinterpret_cast<ACL *>(acl.data()), static_cast<DWORD>(acl.size()), ACL_REVISION));
    ASSERT_TRUE(AddAce(reinterpret_cast<ACL *>(acl.data()), ACL_REVISION, MAXDWORD, entry.data(),
                       static_cast<DWORD>(entry.size())));
    ASSERT_TRUE(SetSecurityDescriptorDacl(&descriptor, TRUE, reinterpret_cast<ACL *>(acl.data()), FALSE));
    EXPECT_EQ(writeRefusal(kFolder, &descriptor, localService.data()),
              "its permissions hold an entry of a kind this check does not read (type 9)");
}

TEST(DataFolderCheck, RefusesAReparsePointWhateverItsDescriptor)
{
    EXPECT_EQ(folderRefusal(dataFolderSddl("LS"), kFolder | FILE_ATTRIBUTE_REPARSE_POINT),
              "it is a reparse point (a junction or a link), which may lead anywhere");
}

TEST(EventLogText, EveryEntryTypeShowsItsTextAsWrittenFromTheMessageTable)
{
    char path[MAX_PATH] = "";
    GetFullPathNameA("vornhost.exe", MAX_PATH, path, nullptr);
    const HMODULE program = LoadLibraryExA(path, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(program, nullptr) << path;
    const std::string text =
        "fan 0 runs at its fail-safe duty of 100 %: digital3 reads 63.5 \xC2\xB0"
        "C, outside 0 to 60 \xC2\xB0"
        "C";
    const std::wstring wide = utf16Text(text);
    EXPECT_EQ(wide.size(), text.size() - 2);
    EXPECT_NE(wide.find(L"63.5 \u00B0C"), std::wstring::npos);
    for (DWORD message : {VORN_EVENT_ERROR, VORN_EVENT_WARNING, VORN_EVENT_INFORMATION}) {
        const DWORD_PTR inserts[] = {reinterpret_cast<DWORD_PTR>(wide.c_str())};
        wchar_t shown[512] = L"";
        const DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY, program,
                                            message, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), shown, 512,
                                            reinterpret_cast<va_list *>(const_cast<DWORD_PTR *>(inserts)));
        EXPECT_EQ(length, wide.size()) << std::hex << message << " error " << std::dec << GetLastError();
        EXPECT_EQ(std::wstring(shown), wide) << std::hex << message;
    }
    FreeLibrary(program);
    // Bytes that are no UTF-8 stay visible as such.
    EXPECT_EQ(utf16Text("a\xB0z"), L"a\uFFFDz");
}
