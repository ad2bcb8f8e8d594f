#include "host/web/dashboardServer.h"

#include "host/web/dashboardRoutes.h"
#include "host/web/loopbackServer.h"

std::string DashboardServer::start(int port, const DashboardState &state)
{
    stop();
    server_ = new LoopbackServer;
    addDashboardRoutes(*server_, state);
    std::string failure = server_->start(port);
    if (!failure.empty())
        stop();
    return failure;
}

bool DashboardServer::stop()
{
    if (server_ == nullptr)
        return true;
    // A thread that did not end keeps using the server: then it is left to
    // the process's end rather than freed under it.
    const bool ended = server_->stop();
    if (ended)
        delete server_;
    server_ = nullptr;
    return ended;
}
