// What the control loop tells the dashboard, kept for the server's threads:
// a DashboardView of the last poll and alarms, and the last hour of polls
// for the chart and /api/history. The loop writes at each poll; a request
// copies what it needs under the same slim reader/writer lock and renders
// from its copy, so that the loop never waits for a client, only for
// another thread's copy of at most an hour of rows.
#pragma once

#include <windows.h>

#include <string>

#include "control/controlConfig.h"
#include "host/chart/readingLog.h"
#include "host/fans/controlLoop.h"
#include "host/fans/controlReport.h"
#include "host/web/dashboardView.h"

// How much of the run the dashboard keeps in memory: the chart's hour.
constexpr int kMinutesKept = 60;

class DashboardState : public ControlLoop::Listener {
public:
    // `report` tells which CSV log the run writes (read on the loop's thread).
    DashboardState(const ControlConfig &config, const ControlReport &report);
    DashboardState(const DashboardState &) = delete;
    DashboardState &operator=(const DashboardState &) = delete;

    // The loop's side.
    void poll(const std::string &time, const Reading &reading, const std::vector<FanOutcome> &fans) override;
    void alarm(const std::string &time, const AlarmEvent &event) override;
    void alarmProgramFailed(const std::string &) override {}

    // The servers' side: copies.
    DashboardView view() const;
    // The polls of the last `minutes` kept in memory (at most kMinutesKept)
    // before the last poll, and the CSV log the run writes, if any, for
    // longer spans.
    ReadingLog recent(int minutes) const;
    std::string csvPath() const;
    // The last poll's time in milliseconds since 1970; 0 before the first.
    long long lastPollMs() const;

private:
    const ControlReport &report_;
    mutable SRWLOCK lock_ = SRWLOCK_INIT;
    DashboardView view_;
    JsonDocument lastPoll_;
    JsonDocument lastAlarm_;
    ReadingLog hour_;
    long long lastPollMs_ = 0;
    std::string csvPath_;
};
