#include "host/fanCommandCli.h"

#include <cstdio>

#include "host/hostSession.h"

namespace {

// Time for the freshly started poller to read the settings (the device
// number) from the registry before the command uses them.
constexpr DWORD kSettingsReadMs = 300;

} // namespace

int runSetFan(const std::string &pluginPath, const std::string &fan, const std::string &percent)
{
    HostSession session;
    if (!session.load(pluginPath))
        return 1;
    std::string error;
    SetFanPercentageFn setFan =
        asFunction<SetFanPercentageFn>(resolveExport(session.plugin.module, "SetFanPercentage", 12, error));
    if (setFan == nullptr) {
        std::fprintf(stderr, "vornhost: %s\n", error.c_str());
        return 1;
    }
    session.start(false); // a command line has no use for error boxes
    session.pumpMessages(kSettingsReadMs);
    char unused[16];
    const char *result = setFan(unused, fan.c_str(), percent.c_str());
    std::printf("%s\n", result == nullptr ? "sent" : result);
    session.stop();
    return result == nullptr ? 0 : 1;
}
