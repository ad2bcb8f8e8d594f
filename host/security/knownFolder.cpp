#include "host/security/knownFolder.h"

#include <shlobj.h>

std::string knownFolder(const GUID &folder)
{
    PWSTR wide = nullptr;
    std::string path;
    if (SHGetKnownFolderPath(folder, KF_FLAG_DONT_VERIFY, nullptr, &wide) == S_OK) {
        BOOL lossy = FALSE;
        const int size = WideCharToMultiByte(CP_ACP, 0, wide, -1, nullptr, 0, nullptr, &lossy);
        if (size > 1 && !lossy) {
            path.resize(static_cast<size_t>(size));
            WideCharToMultiByte(CP_ACP, 0, wide, -1, &path[0], size, nullptr, nullptr);
            path.resize(static_cast<size_t>(size - 1));
        }
    }
    CoTaskMemFree(wide); // also when the call failed: it sets the pointer
    return path;
}
