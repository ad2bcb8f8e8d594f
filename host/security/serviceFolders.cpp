#include "host/security/serviceFolders.h"

#include <windows.h>

#include <sddl.h>

#include <cstdio>

#include "host/security/knownFolder.h"
#include "host/security/writeCheck.h"

namespace {

// A folder there already is made the service's by secureDataFolder, or
// refused (host/security/dataFolderGuard.h).
bool makeFolder(const std::string &path, SECURITY_ATTRIBUTES &attributes)
{
    if (CreateDirectoryA(path.c_str(), &attributes) || GetLastError() == ERROR_ALREADY_EXISTS)
        return true;
    std::fprintf(stderr, "vornhost: cannot make the folder %s (error %lu)\n", path.c_str(), GetLastError());
    return false;
}

std::string inServiceFolder(const std::string &name)
{
    const std::string folder = serviceFolder();
    return folder.empty() ? "" : folder + "\\" + name;
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
