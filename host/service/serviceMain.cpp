#include "host/service/serviceMain.h"

#include <windows.h>

#include <cstdio>
#include <optional>

#include "host/device/processLock.h"
#include "host/fans/controlConfigFile.h"
#include "host/fans/controlRun.h"
#include "host/process/functionLookup.h"
#include "host/security/dataFolderGuard.h"
#include "host/service/eventLog.h"
#include "host/service/serviceClaims.h"
#include "host/service/serviceFiles.h"
#include "host/service/serviceManager.h"
#include "host/service/serviceRecorder.h"
#include "host/web/runDashboard.h"

namespace {

const char kNoDevice[] = "the configuration names no device";

SERVICE_STATUS_HANDLE statusHandle = nullptr;
HANDLE resumedEvent = nullptr; // set by the handler on a resume, for the loop
DWORD checkPoint = 0;

void reportState(DWORD state, DWORD waitHintMs = 0, DWORD exitCode = NO_ERROR)
{
    SERVICE_STATUS status{};
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = state;
    status.dwControlsAccepted =
        state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_PRESHUTDOWN | SERVICE_ACCEPT_POWEREVENT : 0;
    status.dwWin32ExitCode = exitCode == NO_ERROR ? NO_ERROR : ERROR_SERVICE_SPECIFIC_ERROR;
    status.dwServiceSpecificExitCode = exitCode;
    status.dwCheckPoint = state == SERVICE_RUNNING || state == SERVICE_STOPPED ? 0 : ++checkPoint;
    status.dwWaitHint = waitHintMs;
    SetServiceStatus(statusHandle, &status);
}

DWORD WINAPI onControl(DWORD control, DWORD eventType, LPVOID /*eventData*/, LPVOID /*context*/)
{
    switch (control) {
    case SERVICE_CONTROL_STOP:
    case SERVICE_CONTROL_PRESHUTDOWN:
        // The loop sends the exit duties within their deadline, then the
        // service reports itself stopped.
        reportState(SERVICE_STOP_PENDING, kServiceStopMs);
        requestStop(control == SERVICE_CONTROL_STOP ? StopCause::Service : StopCause::PreShutdown);
        return NO_ERROR;
    case SERVICE_CONTROL_POWEREVENT:
        if (eventType == PBT_APMRESUMEAUTOMATIC || eventType == PBT_APMRESUMESUSPEND)
            SetEvent(resumedEvent);
        return NO_ERROR;
    case SERVICE_CONTROL_INTERROGATE:
        return NO_ERROR;
    default:
        return ERROR_CALL_NOT_IMPLEMENTED;
    }
}

// As a service: what goes wrong goes to the Event Log, the claims are
// waited for, and what each poll leaves goes to the service's files.
class ServiceSide : public ControlRunSide {
public:
    bool readConfig(ControlConfig &config) override
    {
        const std::string refusal = dataFolderRefusal();
        if (!refusal.empty()) {
            writeEvent(AlarmSeverity::Error, "the service does not run: " + refusal +
                                                 "; only SYSTEM, the administrators and the service's own account "
                                                 "may write its files (vornhost service uninstall, then install, "
                                                 "sets that)");
            return false;
        }
        ConfigError error;
        if (readControlConfig(serviceConfigPath(), config, error))
            return true;
        writeEvent(AlarmSeverity::Error, serviceConfigPath() + ": " + configErrorText(error));
        return false;
    }

    bool loadBridge(DeviceAccess &access) override
    {
        if (access.load(BridgeSearch::SystemFolderOnly))
            return true;
        writeEvent(AlarmSeverity::Error,
                   "the controller's bridge library FTD2XX.dll cannot be loaded from the system folder: install the "
                   "FTDI D2XX driver");
        return false;
    }

    std::optional<int> claim(const ControlConfig &config, DeviceAccess &access, const DeviceChoice &device,
                             FanClaims &claims) override
    {
        // Running from here: a stop is answered while the claims are awaited.
        reportState(SERVICE_RUNNING);
        if (claimFansForService(config, access, device, claims))
            return std::nullopt;
        return 0;
    }

    bool ready(const ControlConfig &config, ControlReport &report, ControlLoop &loop) override
    {
        recorder_.emplace(config, report);
        loop.listen(&*recorder_);
        // Fans first: a dashboard that cannot be served is said and let be.
        if (const int port = dashboardPort(config, 0)) {
            const std::string failure = dashboard_.start(port, config, report, loop);
            if (!failure.empty())
                writeEvent(AlarmSeverity::Warning, "no dashboard: " + failure);
        }
        return true;
    }

    HANDLE resumed() override { return resumedEvent; }

private:
    std::optional<ServiceRecorder> recorder_;
    RunDashboard dashboard_;
};

// The loop from start to its exit duties; the service's exit code.
DWORD runLoop()
{
    ServiceSide side;
    return static_cast<DWORD>(runControlWith(side, ControlRunOptions{true, false, 0, kNoDevice}));
}

void WINAPI serviceMain(DWORD /*argc*/, LPSTR * /*argv*/)
{
    statusHandle = RegisterServiceCtrlHandlerExA(kServiceName, onControl, nullptr);
    if (statusHandle == nullptr)
        return;
    reportState(SERVICE_START_PENDING, kServiceStopMs);
    // A service has no console: the one notice of a fallback from the
    // controller's global lock goes to the Event Log.
    sendLockNoticeTo([](const std::string &text) { writeEvent(AlarmSeverity::Warning, text); });
    prepareStop();
    resumedEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    const DWORD exitCode = resumedEvent != nullptr ? runLoop() : GetLastError();
    reportState(SERVICE_STOPPED, 0, exitCode);
    if (resumedEvent != nullptr)
        CloseHandle(resumedEvent);
}

} // namespace

int runServiceProcess()
{
    // Libraries this process loads by name come from the system folder
    // only. Looked up, since Windows 7 has it only with KB2533623; without
    // it, the bridge's own load says so.
    using SetDirectories = BOOL(WINAPI *)(DWORD);
    const auto setDirectories =
        asFunction<SetDirectories>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "SetDefaultDllDirectories"));
    if (setDirectories != nullptr)
        setDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    char name[64] = "";
    lstrcpynA(name, kServiceName, sizeof name);
    const SERVICE_TABLE_ENTRYA table[] = {{name, serviceMain}, {nullptr, nullptr}};
    if (StartServiceCtrlDispatcherA(table))
        return 0;
    std::fprintf(stderr, "vornhost: service run is for the service manager; use vornhost service start (error %lu)\n",
                 GetLastError());
    return 1;
}
