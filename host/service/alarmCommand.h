// The configuration's alarm command ("alarms": {"command": ...}), run for
// each alarm with no window and the event in its environment: VORN_EVENT
// (control/alarmEvent.h's name), VORN_FAN (empty for the controller's),
// VORN_INPUT (°C, empty when none), VORN_MESSAGE. vornhost waits for it at
// most kAlarmCommandWaitMs, so that a command that hangs does not hold up
// the polls; it runs on after that.
#pragma once

#include <string>

#include "control/alarmEvent.h"

constexpr unsigned long kAlarmCommandWaitMs = 3000;

// Runs `commandLine` for the event; false, with the reason in `failure`,
// when it cannot be started. `exitCode` gets its exit code when it ended
// within the wait (else STILL_ACTIVE).
bool runAlarmCommand(const std::string &commandLine, const AlarmEvent &event, unsigned long &exitCode,
                     std::string &failure);
