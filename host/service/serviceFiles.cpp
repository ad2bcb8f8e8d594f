#include "host/service/serviceFiles.h"

#include <windows.h>

#include <sddl.h>

#include <cstdio>
#include <vector>

#include "host/output/utcTime.h"
#include "host/service/knownFolder.h"
#include "host/service/writeCheck.h"

namespace {

const char kLogPrefix[] = "control-";

// FILE_INFO_BY_HANDLE_CLASS's FileRenameInfoEx (Windows 10 1709 and
// later), which mingw-w64's header hides behind a version test no
// _WIN32_WINNT passes.
const auto kFileRenameInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(22);

// A folder there already is made the service's by secureDataFolder, or
// refused (host/service/dataFolderGuard.h).
bool makeFolder(const std::string &path, SECURITY_ATTRIBUTES &attributes)
{
    if (CreateDirectoryA(path.c_str(), &attributes) || GetLastError() == ERROR_ALREADY_EXISTS)
        return true;
    std::fprintf(stderr, "vornhost: cannot make the folder %s (error %lu)\n", path.c_str(), GetLastError());
    return false;
}

// The day number (since 1970) of a "2026-12-08" at the start of `text`, or
// -1.
long long dayOf(const std::string &text)
{
    long long ms = 0;
    if (text.size() < 10 || !parseUtcTime(text.substr(0, 10) + "T00:00:00Z", ms))
        return -1;
    return ms / 86400000;
}

// The file's text from where the handle stands to its end, below
// kReplacedFileMaxBytes.
bool readWhole(HANDLE file, std::string &text)
{
    text.clear();
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(file, buffer, sizeof buffer, &read, nullptr)) {
        if (read == 0)
            return true;
        text.append(buffer, read);
        if (text.size() >= kReplacedFileMaxBytes)
            return false;
    }
    return false;
}

std::string inServiceFolder(const std::string &name)
{
    const std::string folder = serviceFolder();
    return folder.empty() ? "" : folder + "\\" + name;
}

// Renames the open file over `path` even while readers hold the old one
// open (sharing it for deletion): they read on in the old file, the next
// open gets the new one.
bool renamedOver(HANDLE file, const std::string &path)
{
    const int length = MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, nullptr, 0);
    if (length <= 1)
        return false;
    std::vector<BYTE> buffer(sizeof(FILE_RENAME_INFO) + static_cast<size_t>(length) * sizeof(WCHAR));
    auto *rename = reinterpret_cast<FILE_RENAME_INFO *>(buffer.data());
    rename->Flags = FILE_RENAME_FLAG_REPLACE_IF_EXISTS | FILE_RENAME_FLAG_POSIX_SEMANTICS;
    rename->RootDirectory = nullptr;
    rename->FileNameLength = static_cast<DWORD>(length - 1) * sizeof(WCHAR);
    MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, rename->FileName, length);
    return SetFileInformationByHandle(file, kFileRenameInfoEx, rename, static_cast<DWORD>(buffer.size())) != FALSE;
}

} // namespace

std::string serviceFolder()
{
    static const std::string programData = knownFolder(FOLDERID_ProgramData);
    return programData.empty() ? "" : programData + "\\VORN";
}

std::string serviceConfigPath()
{
    return inServiceFolder("fan-curve.json");
}

std::string serviceStatusPath()
{
    return inServiceFolder("status.json");
}

std::string serviceLogFolder()
{
    return inServiceFolder("log");
}

std::string serviceLogPath(const std::string &isoTime)
{
    return inServiceFolder(std::string("log\\") + kLogPrefix + isoTime.substr(0, 10) + ".csv");
}

bool makeServiceFolders(const std::string &account)
{
    if (serviceFolder().empty()) {
        std::fprintf(stderr, "vornhost: the system does not tell where ProgramData is\n");
        return false;
    }
    SECURITY_ATTRIBUTES attributes{sizeof attributes, nullptr, FALSE};
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(dataFolderSddl(account).c_str(), SDDL_REVISION_1,
                                                              &attributes.lpSecurityDescriptor, nullptr)) {
        std::fprintf(stderr, "vornhost: cannot build the folder's permissions (error %lu)\n", GetLastError());
        return false;
    }
    const bool made = makeFolder(serviceFolder(), attributes) && makeFolder(serviceLogFolder(), attributes);
    LocalFree(attributes.lpSecurityDescriptor);
    return made;
}

bool replaceFile(const std::string &path, const std::string &text)
{
    const std::string temporary = path + ".new";
    const HANDLE file = CreateFileA(temporary.c_str(), GENERIC_WRITE | DELETE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                    nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const bool complete = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
                          written == text.size() && FlushFileBuffers(file);
    bool replaced = complete && renamedOver(file, path);
    CloseHandle(file);
    // Where the file system cannot (before Windows 10 1709, or not NTFS),
    // the classic rename, which a reader holding the old file blocks for
    // that moment: once more after it.
    for (int attempt = 0; complete && !replaced && attempt < 2; ++attempt) {
        if (attempt > 0)
            Sleep(kReplacedFileRetryMs);
        replaced = MoveFileExA(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    }
    if (!replaced)
        DeleteFileA(temporary.c_str());
    return replaced;
}

bool readReplacedFile(const std::string &path, std::string &text)
{
    // The one moment a reader can miss is the rename itself: once more
    // after it.
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (attempt > 0)
            Sleep(kReplacedFileRetryMs);
        const HANDLE file =
            CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            continue;
        const bool whole = readWhole(file, text);
        CloseHandle(file);
        if (whole)
            return true;
    }
    return false;
}

void pruneServiceLogs(const std::string &isoTime, int keepDays)
{
    const long long today = dayOf(isoTime);
    const std::string pattern = serviceLogFolder() + "\\" + kLogPrefix + "*.csv";
    WIN32_FIND_DATAA found;
    const HANDLE search = FindFirstFileA(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        const long long day = dayOf(found.cFileName + sizeof kLogPrefix - 1);
        if (today >= 0 && day >= 0 && today - day >= keepDays)
            DeleteFileA((serviceLogFolder() + "\\" + found.cFileName).c_str());
    } while (FindNextFileA(search, &found));
    FindClose(search);
}
