// What the dashboard shows at one moment: the configuration's fans and the
// sensors that drive each, the last poll, the last alarms and how many of
// each kind were raised. The control loop's thread fills one
// (host/web/dashboardState.h); the server's threads read copies of it, so
// that what they render never reaches into the loop's own data.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "control/alarmEvent.h"
#include "host/chart/svgChart.h"
#include "host/fans/fanOutcome.h"
#include "host/output/reading.h"

// How many alarms the page lists, newest first.
constexpr size_t kAlarmsShown = 10;
// AlarmKind's values, Test included (it is never raised by a run).
constexpr size_t kAlarmKindCount = static_cast<size_t>(AlarmKind::Test) + 1;

struct RecordedAlarm {
    std::string time; // UTC, ISO 8601, as the poll's
    AlarmEvent event;
};

struct DashboardView {
    double intervalSeconds = 1;        // between polls
    std::vector<DrivenFan> fans;       // the configuration's fans and their sensors, its order
    bool polled = false;               // false until the first poll: the rest is empty
    std::string time;                  // the last poll's, UTC, ISO 8601
    Reading reading;                   // its reading, or its failure text in reading.error
    std::vector<FanOutcome> outcomes;  // its decisions, the configuration's order
    std::string statusJson;            // the status file's text of that poll (one line, no line end)
    std::vector<RecordedAlarm> alarms; // at most kAlarmsShown, newest first
    std::array<long long, kAlarmKindCount> alarmCounts = {}; // raised since the run began, by AlarmKind
};
