// The dashboard's /metrics: the last poll and the run's alarms in
// Prometheus's text format (host/web/expositionText.h), units in the names:
//   vorn_temperature_celsius{sensor}       each sensor, while the reading holds
//   vorn_fan_duty_percent{fan}             each fan's duty as the frame shows it
//   vorn_fan_target_percent{fan}           the duty control decided, configured fans
//   vorn_fan_input_celsius{fan}            the fan's input, when it has one
//   vorn_fan_reason{fan,reason}            1 for the decision's reason, 0 for the others
//   vorn_alarms_total{alarm,severity}      alarms raised since the run began
//   vorn_poll_failed                       1 when the last reading failed
//   vorn_last_poll_timestamp_seconds       the last poll's time, since 1970 UTC
//   vorn_poll_interval_seconds             between polls
// Before the first poll only the alarms and the interval have samples.
#pragma once

#include <string>

#include "host/web/dashboardView.h"

// Served as "text/plain; version=0.0.4; charset=utf-8".
std::string metricsText(const DashboardView &view);
