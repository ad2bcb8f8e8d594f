// The set-duty command (SER_SET, see docs/protocol.md; its bytes in
// core/protocol.h): the command byte for the fan, then the duty in whole
// percent (0..100; a status frame reports duty in 2-percent steps instead). The plug-in's SetFanPercentage and
// vornhost's set-fan both build it here, with the same checks and the same texts.
#pragma once

#include <cstdint>

#include "core/protocol.h"

extern const char kInvalidPercentage[];
extern const char kFanCommandNotSent[];
extern const char kFanCommandBusy[];

// Checks the fan (kInvalidFanIndex) before the percent (kInvalidPercentage),
// and on success fills command and returns null.
const char *encodeFanDuty(int32_t fan, int32_t percent, uint8_t command[kFanCommandSize]);

// The same where the command arrives as text (SetFanPercentage, vornhost
// set-fan): both texts are read as every numeric parameter is read.
const char *encodeFanCommand(const char *fanText, const char *percentText, uint8_t command[kFanCommandSize]);
