#include "host/security/programCopy.h"

#include <windows.h>

#include <cstdio>

#include "host/security/knownFolder.h"

namespace {

// How long a service process that reported itself stopped may keep its
// program open while it ends.
const int kRemoveTries = 10;
const DWORD kRemoveTryMs = 200;

std::string programFolder()
{
    static const std::string programFiles = knownFolder(FOLDERID_ProgramFiles);
    return programFiles.empty() ? "" : programFiles + "\\VORN";
}

std::string ownPath()
{
    char path[MAX_PATH] = "";
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    return length > 0 && length < MAX_PATH ? path : "";
}

} // namespace

std::string installedProgramPath()
{
    return programFolder().empty() ? "" : programFolder() + "\\vornhost.exe";
}

bool copyProgram()
{
    const std::string source = ownPath(), target = installedProgramPath();
    if (source.empty() || target.empty()) {
        std::fprintf(stderr, "vornhost: the system does not tell where Program Files or this program is\n");
        return false;
    }
    if (lstrcmpiA(source.c_str(), target.c_str()) == 0)
        return true; // installed again from the copy itself
    // Program Files inherits its permissions: administrators write, users
    // read and run.
    if (!CreateDirectoryA(programFolder().c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
        std::fprintf(stderr, "vornhost: cannot make the folder %s (error %lu)\n", programFolder().c_str(),
                     GetLastError());
        return false;
    }
    if (!CopyFileA(source.c_str(), target.c_str(), FALSE)) {
        std::fprintf(stderr, "vornhost: cannot copy %s to %s (error %lu)\n", source.c_str(), target.c_str(),
                     GetLastError());
        return false;
    }
    return true;
}

bool removeProgramCopy()
{
    const std::string target = installedProgramPath();
    if (target.empty() || GetFileAttributesA(target.c_str()) == INVALID_FILE_ATTRIBUTES)
        return true;
    for (int attempt = 0; attempt < kRemoveTries; ++attempt) {
        if (attempt > 0)
            Sleep(kRemoveTryMs);
        if (DeleteFileA(target.c_str())) {
            RemoveDirectoryA(programFolder().c_str()); // stays when something else is in it
            return true;
        }
    }
    if (MoveFileExA(target.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) {
        std::printf("vornhost: %s is in use; Windows removes it at the next restart\n", target.c_str());
        return true;
    }
    std::fprintf(stderr, "vornhost: cannot remove %s (error %lu)\n", target.c_str(), GetLastError());
    return false;
}
