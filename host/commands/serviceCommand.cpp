#include "host/commands/serviceCommand.h"

#include <windows.h>

#include <cstdio>

#include "host/fans/controlConfigLoad.h"
#include "host/security/programCopy.h"
#include "host/service/eventLog.h"
#include "host/service/serviceInstall.h"
#include "host/service/serviceMain.h"
#include "host/service/serviceManager.h"
#include "host/service/serviceStatus.h"

namespace {

// As control reads it, and with a "device"; `text` gets the bytes checked.
bool checkedConfig(const std::string &configPath, ControlConfig &config, std::string &text)
{
    if (!loadControlConfig(configPath, config, text))
        return false;
    if (config.device)
        return true;
    std::fprintf(stderr,
                 "vornhost: %s: device: a service has no user's settings; name the controller with "
                 "\"device\": {\"serial\": ...} or {\"number\": ...}\n",
                 configPath.c_str());
    return false;
}

} // namespace

int runService(const std::string & /*pluginPath*/, const ServiceOptions &options)
{
    if (options.action == "run")
        return runServiceProcess();
    if (options.action == "status")
        return printServiceStatus(options.json);
    if (options.action == "install" && options.configPath.empty()) {
        std::fprintf(stderr, "vornhost: service install needs --config FILE\n");
        return 2;
    }
    ControlConfig config;
    std::string configText;
    if (options.action == "install" && !checkedConfig(options.configPath, config, configText))
        return 2;
    if (!runsAsAdministrator()) {
        std::fprintf(stderr, "vornhost: service %s needs administrator rights; run it from an elevated prompt\n",
                     options.action.c_str());
        return 1;
    }
    if (options.action == "install")
        return installServiceFrom(configText, serviceAccountNamed(options.account));
    if (options.action == "uninstall")
        return uninstallService() && removeEventSource() && removeProgramCopy() ? 0 : 1;
    if (options.action == "start")
        return startService() ? 0 : 1;
    return stopService() ? 0 : 1;
}
