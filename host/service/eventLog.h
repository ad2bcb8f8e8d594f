// The Event Log source `VORN` in the Application log: registered by
// `service install`, removed by `service uninstall`, and written by the
// service with each alarm as an error, a warning or information
// (control/alarmEvent.h).
#pragma once

#include <string>

#include "control/alarmEvent.h"

constexpr const char *kEventSource = "VORN";

// HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\VORN, with
// `messageFile` (vornhost.exe) as its message file. Print the reason and
// return false when that fails.
bool registerEventSource(const std::string &messageFile);
bool removeEventSource();

// One entry of the source: `text` with the severity's entry type.
void writeEvent(AlarmSeverity severity, const std::string &text);
