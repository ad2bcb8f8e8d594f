#include "host/web/dashboardRoutes.h"

#include "host/chart/svgChart.h"
#include "host/web/dashboardPanel.h"
#include "host/web/dashboardState.h"
#include "host/web/historyJson.h"
#include "host/web/metricsText.h"
#include "host/web/readingLogRows.h"

namespace {

// The page loads nothing from anywhere but this server, and only its own
// inline script runs.
const char kPagePolicy[] =
    "default-src 'none'; script-src 'unsafe-inline'; style-src 'unsafe-inline'; "
    "connect-src 'self'; img-src 'self' data:; base-uri 'none'; form-action 'none'; "
    "frame-ancestors 'none'";
const char kHtml[] = "text/html; charset=utf-8";
const char kJson[] = "application/json; charset=utf-8";
// The most rows /api/history sends: a day at one poll a second would be
// tens of megabytes; a longer span sends every n-th poll and says so.
constexpr size_t kHistoryRows = 3600;
constexpr int kDefaultHistoryMinutes = 60;
// Of a CSV log, the most a history reads: a day's rows at one poll a second
// and a few hundred bytes each.
constexpr size_t kLogTailBytes = 32u << 20;

// One log read at a time: a read takes tens of megabytes for a moment.
SRWLOCK logReading = SRWLOCK_INIT;

enum class HistorySource {
    Memory,
    Log,
    Busy // another request reads the log
};

// The span from the run's CSV log when it reaches further back than the
// memory does (after midnight the service's day's log may not), else from
// the memory.
HistorySource historyRows(const DashboardState &state, int minutes, ReadingLog &log)
{
    log = state.recent(minutes);
    const std::string csvPath = state.csvPath();
    if (minutes <= kMinutesKept || csvPath.empty())
        return HistorySource::Memory;
    if (!TryAcquireSRWLockExclusive(&logReading))
        return HistorySource::Busy;
    ReadingLog whole;
    std::string error;
    const bool read = readReadingLogTail(csvPath, kLogTailBytes, whole, error);
    ReleaseSRWLockExclusive(&logReading);
    if (!read || whole.timeMs.empty() || (!log.timeMs.empty() && whole.timeMs.front() >= log.timeMs.front()))
        return HistorySource::Memory;
    log = lastMinutes(whole, state.lastPollMs(), minutes);
    return HistorySource::Log;
}

void history(const DashboardState &state, const httplib::Request &request, httplib::Response &response)
{
    int minutes = kDefaultHistoryMinutes;
    std::string error;
    if (request.has_param("minutes") && !parseHistoryMinutes(request.get_param_value("minutes"), minutes, error)) {
        response.status = 400;
        response.set_content(error + "\n", kPlainText);
        return;
    }
    ReadingLog log;
    const HistorySource source = historyRows(state, minutes, log);
    if (source == HistorySource::Busy) {
        response.status = 503;
        response.set_header("Retry-After", "1");
        response.set_content("vornhost reads its log for another request; try again shortly\n", kPlainText);
        return;
    }
    size_t every = 1;
    JsonDocument document = historyJson(everyNthRow(std::move(log), kHistoryRows, every), minutes,
                                        source == HistorySource::Log ? "log" : "memory");
    document["every"] = every;
    response.set_content(document.dump(-1, ' ', false, JsonDocument::error_handler_t::replace) + "\n", kJson);
}

} // namespace

void addDashboardRoutes(LoopbackServer &server, const DashboardState &state)
{
    server.Get("/", [](const httplib::Request &, httplib::Response &response) {
        response.set_header("Content-Security-Policy", kPagePolicy);
        response.set_content(dashboardPage(), kHtml);
    });
    server.Get("/panel", [&state](const httplib::Request &, httplib::Response &response) {
        response.set_content(panelHtml(state.view()), kHtml);
    });
    server.Get("/chart.svg", [&state](const httplib::Request &, httplib::Response &response) {
        const DashboardView view = state.view();
        response.set_content(svgChart(state.recent(kMinutesKept), "The last hour", view.fans),
                             "image/svg+xml; charset=utf-8");
    });
    server.Get("/api/status", [&state](const httplib::Request &, httplib::Response &response) {
        response.set_content(state.view().statusJson + "\n", kJson);
    });
    server.Get("/api/history", [&state](const httplib::Request &request, httplib::Response &response) {
        history(state, request, response);
    });
    server.Get("/metrics", [&state](const httplib::Request &, httplib::Response &response) {
        response.set_content(metricsText(state.view()), "text/plain; version=0.0.4; charset=utf-8");
    });
}

std::string dashboardPage()
{
    const HRSRC found = FindResourceW(nullptr, L"DASHBOARD_PAGE", MAKEINTRESOURCEW(10)); // RT_RCDATA
    const HGLOBAL loaded = found != nullptr ? LoadResource(nullptr, found) : nullptr;
    const void *bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
    if (bytes == nullptr)
        return "<!doctype html><title>VORN fans</title><p>This vornhost.exe holds no dashboard page.";
    return std::string(static_cast<const char *>(bytes), SizeofResource(nullptr, found));
}
