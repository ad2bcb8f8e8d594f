#include "host/commands/controlCommand.h"

#include <cstdio>

#include "host/fans/controlConfigLoad.h"
#include "host/fans/controlRun.h"
#include "host/process/stopRequest.h"
#include "host/process/stopWindow.h"
#include "host/web/runDashboard.h"

namespace {

const char kNoDevice[] =
    "vornhost: no device named: the configuration has no \"device\" and no device number is stored; "
    "name one or configure the plug-in";

// On a console: every refusal on stderr, a refused claim ends the run before
// anything is sent, and the loop ends with Ctrl-C or the stop window.
class ConsoleSide : public ControlRunSide {
public:
    explicit ConsoleSide(const ControlOptions &options) : options_(options) {}

    bool readConfig(ControlConfig &config) override { return loadControlConfig(options_.configPath, config); }
    bool loadBridge(DeviceAccess &access) override { return access.load(); }

    std::optional<int> claim(const ControlConfig &config, DeviceAccess &access, const DeviceChoice &device,
                             FanClaims &claims) override
    {
        std::string refusal;
        if (options_.dryRun || claimFans(config, access, device, claims, refusal))
            return std::nullopt;
        std::fprintf(stderr, "vornhost: %s; nothing was sent\n", refusal.c_str());
        return 2;
    }

    bool ready(const ControlConfig &config, ControlReport &report, ControlLoop &loop) override
    {
        if (!options_.csvPath.empty() && !report.openCsv(options_.csvPath))
            return false;
        watchConsoleStop();
        if (!window_.start())
            std::fprintf(stderr, "vornhost: no window for log-off, shutdown and resume; Ctrl-C still ends the loop\n");
        // The fans first: a dashboard that cannot be served is said and let be.
        if (const int port = dashboardPort(config, options_.httpPort)) {
            const std::string failure = dashboard_.start(port, config, report, loop);
            if (failure.empty())
                std::fprintf(stderr, "vornhost: dashboard at http://localhost:%d/\n", port);
            else
                std::fprintf(stderr, "vornhost: no dashboard: %s; the fans are driven without it\n", failure.c_str());
        }
        report.begin(options_.configPath);
        return true;
    }

    HANDLE resumed() override { return window_.resumed(); }

private:
    const ControlOptions &options_;
    StopWindow window_;
    RunDashboard dashboard_;
};

} // namespace

int runControl(const std::string & /*pluginPath*/, const ControlOptions &options)
{
    ConsoleSide side(options);
    return runControlWith(side, ControlRunOptions{options.json, options.dryRun, options.count, kNoDevice});
}
