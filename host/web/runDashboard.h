// The dashboard of one control run, as `vornhost control` and the service
// start it when asked: the state that listens to the loop and the server
// that serves it. It ends with the object, after the loop's exit duties.
#pragma once

#include <memory>
#include <string>

#include "host/fans/controlLoop.h"
#include "host/web/dashboardServer.h"
#include "host/web/dashboardState.h"

// The port a run serves on: the command line's, else the configuration's,
// else none (0).
int dashboardPort(const ControlConfig &config, int commandLinePort);

class RunDashboard {
public:
    RunDashboard() = default;
    ~RunDashboard();
    RunDashboard(const RunDashboard &) = delete;
    RunDashboard &operator=(const RunDashboard &) = delete;

    // Listens to `loop` and serves on 127.0.0.1:port; an empty text, or why
    // it cannot (then nothing listens). `report` must outlive the loop.
    std::string start(int port, const ControlConfig &config, const ControlReport &report, ControlLoop &loop);

private:
    std::unique_ptr<DashboardState> state_;
    DashboardServer server_;
};
