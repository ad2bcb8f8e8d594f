// The service's claims on its fans (host/device/fanClaim.h). A console loop
// refuses to start when it cannot claim a fan; the service cannot leave the
// fans to whoever keeps a claim's name from it, and the service manager does
// not restart a service that ended by itself. So it says why in the Event
// Log and tries again, until it has every claim or a stop is requested.
#pragma once

#include "host/fans/controlRun.h"

// Between two tries.
constexpr unsigned long kClaimRetryMs = 5000;

// Claims every fan of the configuration on this thread, which keeps the
// claims. A refusal goes to the Event Log as a warning, and again only when
// its text changes; the claims taken after a refusal, as information. True
// once every fan is claimed; false when a stop came first.
bool claimFansForService(const ControlConfig &config, DeviceAccess &access, const DeviceChoice &device,
                         FanClaims &claims);
