// `vornhost service status [--json]`: the service's state from the service
// manager, and its last poll and alarm from the status file it replaces
// whole at each poll (host/service/serviceRecorder.h).
#pragma once

// Prints them, as text or as one JSON object ({"service", "state", "poll",
// "alarm"}, the last two null when none is recorded); exit code 0.
int printServiceStatus(bool json);
