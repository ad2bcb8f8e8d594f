// A control run from its configuration to its exit duties, as the console
// command (`vornhost control`) and the service run it: the configuration
// read and checked, the bridge library loaded, the device the configuration
// names, the claims on its fans, the report and the loop, then the polls
// until a stop. Where the two differ (what they say and where, how they wait
// for a claim, what they keep of each poll) a ControlRunSide decides.
#pragma once

#include <windows.h>

#include <optional>

#include "host/device/fanClaim.h"
#include "host/fans/controlLoop.h"

struct ControlRunOptions {
    bool json = false;
    bool dryRun = false;           // decide and print, send nothing
    long long count = 0;           // polls; 0: until stopped
    const char *unnamed = nullptr; // each poll's text when no device is named
};

class ControlRunSide {
public:
    virtual ~ControlRunSide() = default;
    // The configuration checked; false, having said why: exit code 2.
    virtual bool readConfig(ControlConfig &config) = 0;
    // The bridge library; false, having said why: exit code 1.
    virtual bool loadBridge(DeviceAccess &access) = 0;
    // The claims on the configuration's fans (claimFans below), kept in
    // `claims` while the run lasts; the exit code when the run ends here.
    virtual std::optional<int> claim(const ControlConfig &config, DeviceAccess &access, const DeviceChoice &device,
                                     FanClaims &claims) = 0;
    // Just before the first poll; false, having said why: exit code 1.
    virtual bool ready(const ControlConfig &config, ControlReport &report, ControlLoop &loop) = 0;
    // An event set when the computer resumed (may be null), once ready.
    virtual HANDLE resumed() = 0;
};

// The run: after the setup, a poll every interval until a stop is requested
// (host/process/stopRequest.h) or options.count polls are done, then the
// exit duties; after a resume (side.resumed()) a poll at once that sends
// every duty again. Its exit code: 0 once the loop has ended.
int runControlWith(ControlRunSide &side, const ControlRunOptions &options);

// Claims every fan the configuration drives (host/device/fanClaim.h), in a
// turn on the controller so that its serial number is not hidden by a
// program that takes turns. False, with why in `refusal`, when one of them
// cannot be claimed; none is held then.
bool claimFans(const ControlConfig &config, DeviceAccess &access, const DeviceChoice &device, FanClaims &claims,
               std::string &refusal);
