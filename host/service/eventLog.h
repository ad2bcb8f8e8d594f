// The Event Log source `VORN` in the Application log: registered by
// `service install`, removed by `service uninstall`, and written by the
// service with each alarm as an error, a warning or information
// (control/alarmEvent.h).
#pragma once

#include <string>

#include "control/alarmEvent.h"

constexpr const char *kEventSource = "VORN";

// HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\VORN, with
// `messageFile` (the installed vornhost.exe, whose message table holds the
// entries' messages) as its message file. Print the reason and
// return false when that fails.
bool registerEventSource(const std::string &messageFile);
bool removeEventSource();

// One entry of the source: `text` (UTF-8) with the severity's entry type,
// written in UTF-16 as the one insert of that type's message
// (eventMessages.mc), so that Event Viewer shows it as written, °C and
// all.
void writeEvent(AlarmSeverity severity, const std::string &text);

// UTF-8 text as UTF-16; a byte that is no UTF-8 becomes U+FFFD.
std::wstring utf16Text(const std::string &text);
