#include "host/service/serviceManager.h"

#include <cstdio>

namespace {

// A handle of the service manager, closed once.
class ScHandle {
public:
    explicit ScHandle(SC_HANDLE handle) : handle_(handle) {}
    ~ScHandle()
    {
        if (handle_ != nullptr)
            CloseServiceHandle(handle_);
    }
    ScHandle(const ScHandle &) = delete;
    ScHandle &operator=(const ScHandle &) = delete;
    SC_HANDLE get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }

private:
    SC_HANDLE handle_;
};

bool failed(const char *what)
{
    std::fprintf(stderr, "vornhost: cannot %s the service %s (error %lu)\n", what, kServiceName, GetLastError());
    return false;
}

SC_HANDLE openManager(DWORD rights)
{
    return OpenSCManagerA(nullptr, nullptr, rights);
}

// Description, restarts after a failure, and the pre-shutdown time.
bool configure(SC_HANDLE service)
{
    char description[] =
        "Drives the fans of the VORN controller along the curves of "
        "%ProgramData%\\VORN\\fan-curve.json, from boot to shutdown.";
    SERVICE_DESCRIPTIONA text{description};
    SC_ACTION restart[] = {{SC_ACTION_RESTART, 5000}, {SC_ACTION_RESTART, 5000}, {SC_ACTION_RESTART, 5000}};
    SERVICE_FAILURE_ACTIONSA failure{};
    failure.dwResetPeriod = 86400;
    failure.cActions = sizeof restart / sizeof restart[0];
    failure.lpsaActions = restart;
    SERVICE_PRESHUTDOWN_INFO preshutdown{kServiceStopMs};
    return ChangeServiceConfig2A(service, SERVICE_CONFIG_DESCRIPTION, &text) &&
           ChangeServiceConfig2A(service, SERVICE_CONFIG_FAILURE_ACTIONS, &failure) &&
           ChangeServiceConfig2A(service, SERVICE_CONFIG_PRESHUTDOWN_INFO, &preshutdown);
}

// Until the service reports `state`, within kServiceStopMs.
bool awaitState(SC_HANDLE service, DWORD state)
{
    SERVICE_STATUS status{};
    for (DWORD start = GetTickCount(); QueryServiceStatus(service, &status); Sleep(100)) {
        if (status.dwCurrentState == state)
            return true;
        if (GetTickCount() - start > kServiceStopMs)
            break;
    }
    return false;
}

const char *stateName(DWORD state)
{
    switch (state) {
    case SERVICE_STOPPED:
        return "stopped";
    case SERVICE_START_PENDING:
        return "start-pending";
    case SERVICE_STOP_PENDING:
        return "stop-pending";
    case SERVICE_RUNNING:
        return "running";
    case SERVICE_CONTINUE_PENDING:
        return "continue-pending";
    case SERVICE_PAUSE_PENDING:
        return "pause-pending";
    case SERVICE_PAUSED:
        return "paused";
    default:
        return "unknown";
    }
}

} // namespace

bool runsAsAdministrator()
{
    // In a token that is not elevated the group is there for denying only,
    // and CheckTokenMembership does not count it.
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    PSID administrators = nullptr;
    if (!AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0,
                                  &administrators))
        return false;
    BOOL member = FALSE;
    const bool checked = CheckTokenMembership(nullptr, administrators, &member);
    FreeSid(administrators);
    return checked && member;
}

bool findService(bool &installed)
{
    const ScHandle manager(openManager(SC_MANAGER_CONNECT));
    if (!manager)
        return failed("reach the service manager for");
    const ScHandle service(OpenServiceA(manager.get(), kServiceName, SERVICE_QUERY_STATUS));
    installed = static_cast<bool>(service);
    return installed || GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST || failed("look for");
}

bool installService(const std::string &commandLine, const ServiceAccount &account)
{
    const ScHandle manager(openManager(SC_MANAGER_CREATE_SERVICE));
    if (!manager)
        return failed("reach the service manager for");
    // These accounts have no password: an empty one, as documented.
    const ScHandle service(CreateServiceA(manager.get(), kServiceName, kServiceDisplayName, SERVICE_ALL_ACCESS,
                                          SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, SERVICE_ERROR_NORMAL,
                                          commandLine.c_str(), nullptr, nullptr, nullptr, account.startName, ""));
    if (!service)
        return failed("register");
    if (!configure(service.get()))
        return failed("configure");
    return true;
}

bool uninstallService()
{
    const ScHandle manager(openManager(SC_MANAGER_CONNECT));
    if (!manager)
        return failed("reach the service manager for");
    const ScHandle service(OpenServiceA(manager.get(), kServiceName, SERVICE_STOP | SERVICE_QUERY_STATUS | DELETE));
    if (!service)
        return GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST || failed("open");
    SERVICE_STATUS status{};
    if (ControlService(service.get(), SERVICE_CONTROL_STOP, &status))
        awaitState(service.get(), SERVICE_STOPPED);
    if (!DeleteService(service.get()) && GetLastError() != ERROR_SERVICE_MARKED_FOR_DELETE)
        return failed("remove");
    return true;
}

bool startService()
{
    const ScHandle manager(openManager(SC_MANAGER_CONNECT));
    const ScHandle service(manager ? OpenServiceA(manager.get(), kServiceName, SERVICE_START) : nullptr);
    if (!service || (!StartServiceA(service.get(), 0, nullptr) && GetLastError() != ERROR_SERVICE_ALREADY_RUNNING))
        return failed("start");
    return true;
}

bool stopService()
{
    const ScHandle manager(openManager(SC_MANAGER_CONNECT));
    const ScHandle service(manager ? OpenServiceA(manager.get(), kServiceName, SERVICE_STOP | SERVICE_QUERY_STATUS)
                                   : nullptr);
    SERVICE_STATUS status{};
    if (!service ||
        (!ControlService(service.get(), SERVICE_CONTROL_STOP, &status) && GetLastError() != ERROR_SERVICE_NOT_ACTIVE))
        return failed("stop");
    if (!awaitState(service.get(), SERVICE_STOPPED)) {
        std::fprintf(stderr, "vornhost: the service %s did not stop within %lu ms\n", kServiceName, kServiceStopMs);
        return false;
    }
    return true;
}

std::string serviceState()
{
    const ScHandle manager(openManager(SC_MANAGER_CONNECT));
    const ScHandle service(manager ? OpenServiceA(manager.get(), kServiceName, SERVICE_QUERY_STATUS) : nullptr);
    SERVICE_STATUS status{};
    if (!service || !QueryServiceStatus(service.get(), &status))
        return "not-installed";
    return stateName(status.dwCurrentState);
}

std::vector<std::string> serviceAccountNames()
{
    std::vector<std::string> names;
    for (const ServiceAccount &account : kServiceAccounts)
        names.push_back(account.name);
    return names;
}

const ServiceAccount &serviceAccountNamed(const std::string &name)
{
    for (const ServiceAccount &account : kServiceAccounts)
        if (name == account.name)
            return account;
    return kServiceAccounts[0];
}
