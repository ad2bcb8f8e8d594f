#include "host/web/runDashboard.h"

int dashboardPort(const ControlConfig &config, int commandLinePort)
{
    if (commandLinePort != 0)
        return commandLinePort;
    return config.http.port ? static_cast<int>(*config.http.port) : 0;
}

std::string RunDashboard::start(int port, const ControlConfig &config, const ControlReport &report, ControlLoop &loop)
{
    state_ = std::make_unique<DashboardState>(config, report);
    std::string failure = server_.start(port, *state_);
    if (failure.empty())
        loop.listen(state_.get());
    return failure;
}

// The server first; a server whose threads did not end keeps the state too.
RunDashboard::~RunDashboard()
{
    if (!server_.stop())
        static_cast<void>(state_.release());
}
