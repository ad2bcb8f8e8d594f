// The service `VORNFanControl` ("VORN fan control") in the service manager:
// registered to start with Windows as LocalService (or LocalSystem, when
// asked), restarted 5 s after a failure, given time at shutdown for the exit duties; started, stopped,
// asked for its state and removed. Each prints what went wrong.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

constexpr const char *kServiceName = "VORNFanControl";
constexpr const char *kServiceDisplayName = "VORN fan control";

// How long the service manager waits at shutdown (pre-shutdown) and at a
// stop: the exit duties' deadline and some.
constexpr DWORD kServiceStopMs = 10000;

// Whether this process runs with administrator rights (its token elevated).
bool runsAsAdministrator();

// An account a service may run as without a password.
struct ServiceAccount {
    const char *name;      // as `service install --account` names it
    const char *startName; // as the service manager is told it
    const char *sddl;      // its abbreviation in a security descriptor
};
// LocalService first: the default.
constexpr ServiceAccount kServiceAccounts[] = {{"LocalService", "NT AUTHORITY\\LocalService", "LS"},
                                               {"LocalSystem", "LocalSystem", "SY"}};
// Their names, as `service install --account` takes them.
std::vector<std::string> serviceAccountNames();
// The one of that name; the default for a name that is none of them.
const ServiceAccount &serviceAccountNamed(const std::string &name);

// Whether the service is registered; false, printing the reason, when the
// service manager cannot tell.
bool findService(bool &installed);

// Registers the service to run `commandLine` ("\"...\\vornhost.exe\" service
// run") as `account`.
bool installService(const std::string &commandLine, const ServiceAccount &account);
// Stops it (within kServiceStopMs) and removes it; true when it is gone
// (also when it was never there).
bool uninstallService();
bool startService();
// Asks it to stop and waits, within kServiceStopMs, until it has.
bool stopService();

// Its state: "running", "stopped", "start-pending", ..., or "not-installed".
std::string serviceState();
