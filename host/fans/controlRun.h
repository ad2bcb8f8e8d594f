// The parts of a control loop's life that the console command and the
// service share: the device the configuration names, the claims on its fans,
// and the polls until a stop, with the exit duties at the end.
#pragma once

#include <windows.h>

#include "host/device/fanClaim.h"
#include "host/fans/controlLoop.h"

// The configuration's device, else the plug-in's stored device number, else
// none.
DeviceChoice deviceOf(const ControlConfig &config);

// Claims every fan the configuration drives (host/device/fanClaim.h), in a
// turn on the controller so that its serial number is not hidden by a
// program that takes turns. False, with why in `refusal`, when one of them
// cannot be claimed; none is held then.
bool claimFans(const ControlConfig &config, DeviceAccess &access, const DeviceChoice &device, FanClaims &claims,
               std::string &refusal);

// Polls every interval until a stop is requested (host/process/stopRequest.h)
// or `count` polls are done (0: no limit), then sends the exit duties.
// `resumed` (may be null) is an event set when the computer resumed: the
// loop then polls at once and sends every duty again.
void runControlLoop(const ControlConfig &config, ControlLoop &loop, long long count, HANDLE resumed);
