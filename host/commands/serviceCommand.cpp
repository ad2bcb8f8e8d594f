#include "host/commands/serviceCommand.h"

#include <windows.h>

#include <cstdio>

#include "host/fans/controlConfigFile.h"
#include "host/fans/controlReport.h"
#include "host/output/jsonOutput.h"
#include "host/security/dataFolderGuard.h"
#include "host/security/programCopy.h"
#include "host/service/eventLog.h"
#include "host/service/serviceFiles.h"
#include "host/service/serviceMain.h"
#include "host/service/serviceManager.h"

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

const ServiceAccount &accountNamed(const std::string &name)
{
    for (const ServiceAccount &account : kServiceAccounts)
        if (name == account.name)
            return account;
    return kServiceAccounts[0];
}

// The data folder made the service's (again after the configuration is
// written, which makes it the folder's), the configuration written from
// the bytes checked, the program copied where only administrators write,
// and that copy registered.
int install(const std::string &configText, const ServiceAccount &account)
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

int status(bool json)
{
    const std::string state = serviceState();
    std::string text;
    const JsonDocument last =
        readReplacedFile(serviceStatusPath(), text) ? JsonDocument::parse(text, nullptr, false) : JsonDocument();
    const bool known = !last.is_discarded() && last.is_object();
    if (json) {
        JsonDocument line;
        line["service"] = kServiceName;
        line["state"] = state;
        line["poll"] = known && last.contains("poll") ? last["poll"] : JsonDocument(nullptr);
        line["alarm"] = known && last.contains("alarm") ? last["alarm"] : JsonDocument(nullptr);
        printJsonLine(line);
        return 0;
    }
    std::printf("%s (%s): %s\n", kServiceDisplayName, kServiceName, state.c_str());
    if (!known || !last.contains("poll") || last["poll"].is_null()) {
        std::printf("no poll recorded in %s\n", serviceStatusPath().c_str());
        return 0;
    }
    const JsonDocument &poll = last["poll"];
    std::printf("last poll %s%s%s\n", poll.value("time", "").c_str(), poll["error"].is_null() ? "" : ": ",
                poll["error"].is_null() ? "" : poll["error"].get<std::string>().c_str());
    for (const JsonDocument &fan : poll["fans"]) {
        std::string input = fan["input"].is_null() ? "-" : fan["input"].dump();
        std::printf("  fan %d: input %s C, duty %d %%, %s\n", fan.value("fan", 0), input.c_str(),
                    fan.value("target", 0), fan.value("reason", "").c_str());
    }
    if (last.contains("alarm") && !last["alarm"].is_null()) {
        const JsonDocument &alarm = last["alarm"];
        std::printf("last alarm %s: %s (%s): %s\n", alarm.value("time", "").c_str(), alarm.value("alarm", "").c_str(),
                    alarm.value("severity", "").c_str(), consoleText(alarm.value("message", "")).c_str());
    }
    return 0;
}

} // namespace

int runService(const std::string & /*pluginPath*/, const ServiceOptions &options)
{
    if (options.action == "run")
        return runServiceProcess();
    if (options.action == "status")
        return status(options.json);
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
        return install(configText, accountNamed(options.account));
    if (options.action == "uninstall")
        return uninstallService() && removeEventSource() && removeProgramCopy() ? 0 : 1;
    if (options.action == "start")
        return startService() ? 0 : 1;
    return stopService() ? 0 : 1;
}
