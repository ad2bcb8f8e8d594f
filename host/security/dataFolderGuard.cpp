#include "host/security/dataFolderGuard.h"

#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

#include <cstdio>
#include <vector>

#include "host/security/serviceFolders.h"
#include "host/security/writeCheck.h"

namespace {

// A file or folder opened as itself (a reparse point is not followed),
// closed once.
class Entry {
public:
    Entry(const std::string &path, DWORD access)
        : handle_(CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr))
    {
    }
    ~Entry()
    {
        if (handle_ != INVALID_HANDLE_VALUE)
            CloseHandle(handle_);
    }
    Entry(const Entry &) = delete;
    Entry &operator=(const Entry &) = delete;
    HANDLE get() const { return handle_; }
    bool opened() const { return handle_ != INVALID_HANDLE_VALUE; }

private:
    HANDLE handle_;
};

std::string errorText(const char *what, DWORD error)
{
    return std::string(what) + " (error " + std::to_string(error) + ")";
}

// What the entry is; empty, or why it may not be made the service's.
std::string kindRefusal(const Entry &entry, bool folder, BY_HANDLE_FILE_INFORMATION &info)
{
    if (!entry.opened())
        return errorText("it cannot be opened", GetLastError());
    if (!GetFileInformationByHandle(entry.get(), &info))
        return errorText("it cannot be examined", GetLastError());
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
        return "it is a reparse point (a junction or a link); remove it and install again";
    if (((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) != folder)
        return folder ? "it is a file, not a folder" : "it is a folder vornhost does not make; remove it";
    return "";
}

std::string applied(const Entry &entry, const std::string &sddl)
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl.c_str(), SDDL_REVISION_1, &descriptor, nullptr))
        return errorText("its permissions cannot be built", GetLastError());
    PSID owner = nullptr;
    PACL dacl = nullptr;
    BOOL present = FALSE, defaulted = FALSE;
    DWORD result = ERROR_INVALID_SECURITY_DESCR;
    if (GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) &&
        GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted))
        result = SetSecurityInfo(entry.get(), SE_FILE_OBJECT,
                                 OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION |
                                     PROTECTED_DACL_SECURITY_INFORMATION,
                                 owner, nullptr, dacl, nullptr);
    LocalFree(descriptor);
    return result == ERROR_SUCCESS ? "" : errorText("its permissions cannot be set", result);
}

// A file with another name elsewhere (a hard link) shares its descriptor
// with that name: it loses this name instead, which leaves the other as it
// was.
std::string removed(const Entry &entry)
{
    FILE_DISPOSITION_INFO disposition{TRUE};
    if (!SetFileInformationByHandle(entry.get(), FileDispositionInfo, &disposition, sizeof disposition))
        return errorText("it has another name elsewhere (a hard link), and this one cannot be removed", GetLastError());
    return "";
}

// Looks at the folder and what it holds (log\ and its files when `top`),
// and with `apply` sets each one's descriptor, the folder's first so that
// no one else may add to it meanwhile. Prints the first reason against
// it.
bool walk(const std::string &folder, bool top, const std::string &account, bool apply)
{
    const DWORD access = READ_CONTROL | FILE_READ_ATTRIBUTES | (apply ? WRITE_DAC | WRITE_OWNER : 0);
    std::string reason;
    {
        const Entry entry(folder, access);
        BY_HANDLE_FILE_INFORMATION info;
        reason = kindRefusal(entry, true, info);
        if (reason.empty() && apply)
            reason = applied(entry, dataFolderSddl(account));
    }
    if (!reason.empty()) {
        std::fprintf(stderr, "vornhost: %s: %s\n", folder.c_str(), reason.c_str());
        return false;
    }
    WIN32_FIND_DATAA found;
    const HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "vornhost: %s: %s\n", folder.c_str(),
                     errorText("its contents cannot be listed", GetLastError()).c_str());
        return false;
    }
    std::vector<std::string> names;
    do {
        const std::string name = found.cFileName;
        if (name != "." && name != "..")
            names.push_back(name);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    for (const std::string &name : names) {
        const std::string path = folder + "\\" + name;
        if (top && lstrcmpiA(name.c_str(), "log") == 0) {
            if (!walk(path, false, account, apply))
                return false;
            continue;
        }
        const Entry entry(path, access | (apply ? DELETE : 0));
        BY_HANDLE_FILE_INFORMATION info;
        reason = kindRefusal(entry, false, info);
        if (reason.empty() && apply)
            reason = info.nNumberOfLinks > 1 ? removed(entry) : applied(entry, dataFileSddl(account));
        if (!reason.empty()) {
            std::fprintf(stderr, "vornhost: %s: %s\n", path.c_str(), reason.c_str());
            return false;
        }
    }
    return true;
}

// This process's own account, for the service the account it runs as;
// empty when it cannot be read.
std::vector<BYTE> ownAccount()
{
    HANDLE token = nullptr;
    std::vector<BYTE> user(256);
    DWORD size = 0;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return {};
    const bool read =
        GetTokenInformation(token, TokenUser, user.data(), static_cast<DWORD>(user.size()), &size) != FALSE;
    CloseHandle(token);
    if (!read)
        return {};
    const auto *tokenUser = reinterpret_cast<const TOKEN_USER *>(user.data());
    const DWORD length = GetLengthSid(tokenUser->User.Sid);
    const auto *sid = static_cast<const BYTE *>(tokenUser->User.Sid);
    return std::vector<BYTE>(sid, sid + length);
}

std::string entryRefusal(const std::string &path, PSID account)
{
    const Entry entry(path, READ_CONTROL | FILE_READ_ATTRIBUTES);
    BY_HANDLE_FILE_INFORMATION info;
    if (!entry.opened() || !GetFileInformationByHandle(entry.get(), &info))
        return path + ": " + errorText("it cannot be examined", GetLastError());
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const DWORD result =
        GetSecurityInfo(entry.get(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, nullptr,
                        nullptr, nullptr, nullptr, &descriptor);
    if (result != ERROR_SUCCESS)
        return path + ": " + errorText("its permissions cannot be read", result);
    const std::string reason = writeRefusal(info.dwFileAttributes, descriptor, account);
    LocalFree(descriptor);
    return reason.empty() ? "" : path + ": " + reason;
}

} // namespace

bool secureDataFolder(const std::string &account)
{
    return walk(serviceFolder(), true, account, false) && walk(serviceFolder(), true, account, true);
}

std::string dataFolderRefusal()
{
    if (serviceFolder().empty())
        return "the system does not tell where ProgramData is";
    std::vector<BYTE> account = ownAccount();
    if (account.empty())
        return "the service's own account cannot be read";
    for (const std::string &path : {serviceFolder(), serviceLogFolder(), serviceConfigPath()}) {
        const std::string reason = entryRefusal(path, account.data());
        if (!reason.empty())
            return reason;
    }
    return "";
}
