// The configuration's alarm program ("alarms": {"program": ..., "arguments":
// ...}, control/controlConfig.h), run for each alarm by `vornhost control`
// and the service alike, and once by `vornhost alarm --test`: with no window
// and the event in its environment: VORN_EVENT (control/alarmEvent.h's
// name), VORN_FAN (empty for the controller's), VORN_INPUT (°C, empty when
// none), VORN_MESSAGE. Windows gets the program's full path as the module to
// run, so that nothing is searched for, and the command line
// "\"PROGRAM\" ARGUMENTS". vornhost waits for it at most
// kAlarmProgramWaitMs, or until a stop is requested, so that a program that
// hangs holds up neither the polls nor the exit; it runs on after that.
#pragma once

#include <windows.h>

#include <string>

#include "control/alarmEvent.h"
#include "control/controlConfig.h"

constexpr DWORD kAlarmProgramWaitMs = 3000;

// Runs the configured program for the event (the caller checks that there
// is one); false, with the reason in `failure`, when it cannot be started.
// Waits for it at most kAlarmProgramWaitMs, or until `stop` (when given) is
// set; `exitCode` gets its exit code when it ended meanwhile, else
// STILL_ACTIVE.
bool runAlarmProgram(const AlarmConfig &alarms, const AlarmEvent &event, HANDLE stop, unsigned long &exitCode,
                     std::string &failure);
