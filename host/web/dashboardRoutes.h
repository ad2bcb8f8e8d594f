// What the dashboard's server answers (read-only, GET and HEAD):
//   /             the page (host/web/dashboard.html, a resource of vornhost.exe)
//   /panel        the page's fans, temperatures and alarms, as HTML to swap in
//   /chart.svg    the last hour as a chart, each fan's sensors marked
//   /api/status   the last poll and alarm, the status file's JSON
//   /api/history  ?minutes=N (1 to 1440, 60 when absent): the polls of the
//                 span, from memory for the last hour, else from the run's CSV log
//   /metrics      temperatures, duties, reasons and alarm counts for Prometheus
#pragma once

#include "host/web/loopbackServer.h"

class DashboardState;

void addDashboardRoutes(LoopbackServer &server, const DashboardState &state);

// The page's text, from vornhost.exe's resources.
std::string dashboardPage();
