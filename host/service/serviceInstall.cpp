#include "host/service/serviceInstall.h"

#include <cstdio>

#include "host/security/dataFolderGuard.h"
#include "host/security/programCopy.h"
#include "host/service/eventLog.h"
#include "host/service/serviceFiles.h"

int installServiceFrom(const std::string &configText, const ServiceAccount &account)
{
    bool installed = false;
    if (!findService(installed))
        return 1;
    if (installed) {
        std::fprintf(stderr,
                     "vornhost: the service %s is installed already; nothing changed (vornhost service uninstall "
                     "first)\n",
                     kServiceName);
        return 1;
    }
    if (!makeServiceFolders(account.sddl) || !secureDataFolder(account.sddl))
        return 1;
    if (!replaceFile(serviceConfigPath(), configText)) {
        std::fprintf(stderr, "vornhost: cannot write %s (error %lu)\n", serviceConfigPath().c_str(), GetLastError());
        return 1;
    }
    if (!secureDataFolder(account.sddl) || !copyProgram())
        return 1;
    const std::string program = installedProgramPath();
    if (!installService("\"" + program + "\" service run", account) || !registerEventSource(program))
        return 1;
    std::printf("vornhost: service %s installed, running %s as %s with %s; vornhost service start starts it\n",
                kServiceName, program.c_str(), account.name, serviceConfigPath().c_str());
    return 0;
}
