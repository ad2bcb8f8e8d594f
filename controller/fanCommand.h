// Setting one fan's duty: the two-byte command 0x11 + fan, then the percent
// (whole percent, 0..100), sent on a connection of its own. No reply.
#pragma once

#include <windows.h>

extern const char kInvalidPercentage[];
extern const char kFanCommandNotSent[];
extern const char kFanCommandBusy[];

constexpr unsigned char kSetDutyCommand = 0x11;

extern "C" {

// Null when the command went out; otherwise a constant text. The output
// buffer is neither read nor written.
const char *WINAPI SetFanPercentage(char *outputBuffer, const char *fanText, const char *percentText);

} // extern "C"
