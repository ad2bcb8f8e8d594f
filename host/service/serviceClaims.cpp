#include "host/service/serviceClaims.h"

#include "host/process/stopRequest.h"
#include "host/service/eventLog.h"

namespace {

const char kAllClaimed[] = "every fan of the configuration is claimed; the service drives them from now on";
const char kRetrying[] = "; the service drives none of its fans until it has every claim, and tries again every ";

} // namespace

bool claimFansForService(const ControlConfig &config, DeviceAccess &access, const DeviceChoice &device,
                         FanClaims &claims)
{
    std::string said;
    for (;;) {
        std::string refusal;
        if (claimFans(config, access, device, claims, refusal)) {
            if (!said.empty())
                writeEvent(AlarmSeverity::Information, kAllClaimed);
            return true;
        }
        if (refusal != said)
            writeEvent(AlarmSeverity::Warning, refusal + kRetrying + std::to_string(kClaimRetryMs / 1000) + " s");
        said = refusal;
        if (WaitForSingleObject(stopEvent(), kClaimRetryMs) != WAIT_TIMEOUT)
            return false;
    }
}
