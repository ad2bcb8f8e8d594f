// Setting one fan's duty: the two-byte command 0x11 + fan, then the percent
// (whole percent, 0..100), sent on a connection of its own. No reply.
#pragma once

#include <windows.h>

extern const char kInvalidPercentage[];
extern const char kFanCommandNotSent[];
extern const char kFanCommandBusy[];

constexpr unsigned char kSetDutyCommand = 0x11;

// Sends the duty command for the fan and percent given as texts (read like
// every numeric parameter). Null when the command went out; otherwise a
// constant text: a range message, the pending error text, the busy text or
// the connection's failure text.
const char *sendFanDuty(const char *fanText, const char *percentText);
