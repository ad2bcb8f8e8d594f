// The dashboard of `vornhost control --http PORT` and of the service
// (docs/control.md, "Dashboard"): a page, the status, the history and the
// metrics of the run, served on 127.0.0.1 by threads of its own from what
// the control loop leaves in a DashboardState. The loop never waits for it.
#pragma once

#include <string>

class DashboardState;
class LoopbackServer;

class DashboardServer {
public:
    DashboardServer() = default;
    ~DashboardServer() { stop(); }
    DashboardServer(const DashboardServer &) = delete;
    DashboardServer &operator=(const DashboardServer &) = delete;

    // Serves `state`, which must outlive the server, on 127.0.0.1:port. An
    // empty text, or why it cannot.
    std::string start(int port, const DashboardState &state);
    // False when a thread of the server did not end in time: the server is
    // then left to the process's end, and so must be the state it serves.
    bool stop();

private:
    LoopbackServer *server_ = nullptr;
};
