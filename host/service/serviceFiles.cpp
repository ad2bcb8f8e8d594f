#include "host/service/serviceFiles.h"

#include <windows.h>

#include <vector>

#include "host/service/dailyLogs.h"

namespace {

// FILE_INFO_BY_HANDLE_CLASS's FileRenameInfoEx (Windows 10 1709 and
// later), which mingw-w64's header hides behind a version test no
// _WIN32_WINNT passes.
const auto kFileRenameInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(22);

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

std::string serviceLogPath(const std::string &isoTime)
{
    const std::string folder = serviceLogFolder();
    return folder.empty() ? "" : folder + "\\" + dailyLogName(isoTime);
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
    const std::string pattern = serviceLogFolder() + "\\" + dailyLogPattern();
    WIN32_FIND_DATAA found;
    const HANDLE search = FindFirstFileA(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        if (dailyLogExpired(found.cFileName, isoTime, keepDays))
            DeleteFileA((serviceLogFolder() + "\\" + found.cFileName).c_str());
    } while (FindNextFileA(search, &found));
    FindClose(search);
}
