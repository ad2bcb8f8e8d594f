#include "host/service/serviceFiles.h"

#include <windows.h>

#include <sddl.h>

#include <cstdio>

#include "host/output/utcTime.h"

namespace {

// SYSTEM and administrators: everything; users: read and run. Inherited by
// every file in it, the folder's own inheritance cut (P).
const char kFolderDescriptor[] = "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FRFX;;;BU)";

const char kLogPrefix[] = "control-";

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

} // namespace

std::string serviceFolder()
{
    char programData[MAX_PATH] = "";
    const DWORD length = GetEnvironmentVariableA("ProgramData", programData, MAX_PATH);
    std::string base = length > 0 && length < MAX_PATH ? programData : "C:\\ProgramData";
    return base + "\\VORN";
}

std::string serviceConfigPath()
{
    return serviceFolder() + "\\fan-curve.json";
}

std::string serviceStatusPath()
{
    return serviceFolder() + "\\status.json";
}

std::string serviceLogFolder()
{
    return serviceFolder() + "\\log";
}

std::string serviceLogPath(const std::string &isoTime)
{
    return serviceLogFolder() + "\\" + kLogPrefix + isoTime.substr(0, 10) + ".csv";
}

bool makeServiceFolders()
{
    SECURITY_ATTRIBUTES attributes{sizeof attributes, nullptr, FALSE};
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(kFolderDescriptor, SDDL_REVISION_1,
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
    const HANDLE file =
        CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const bool complete = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
                          written == text.size() && FlushFileBuffers(file);
    CloseHandle(file);
    if (complete && MoveFileExA(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    DeleteFileA(temporary.c_str());
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
