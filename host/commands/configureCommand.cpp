#include "host/commands/configureCommand.h"

#include <windows.h>

#include <commctrl.h>

#include <cstdio>

#include "host/plugin/hostSession.h"
#include "host/plugin/meterTable.h"

namespace {

// Long enough for one poll at the usual one- or two-second refresh rate.
constexpr DWORD kNextPollMs = 2500;

} // namespace

int runConfigure(const std::string &pluginPath)
{
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_UPDOWN_CLASS};
    if (!InitCommonControlsEx(&controls)) {
        std::fprintf(stderr, "vornhost: cannot register the common controls\n");
        return 1;
    }
    HostSession session;
    if (!session.load(pluginPath))
        return 1;
    const ConfigureFn configure = requiredExport<ConfigureFn>(session.plugin.module, "configure", 0);
    if (configure == nullptr)
        return 1;
    session.start();
    std::printf("Opening the configuration dialog...\n");
    std::fflush(stdout);
    configure(); // modal: returns when the user closes the dialog
    std::printf("Dialog closed; readings after the next poll:\n");
    session.pumpMessages(kNextPollMs);
    printMeterTable(stdout, session.meters);
    session.stop();
    return 0;
}
