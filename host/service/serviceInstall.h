// `vornhost service install`'s work once the configuration is checked and
// the rights are there (host/commands/serviceCommand.h).
#pragma once

#include <string>

#include "host/service/serviceManager.h"

// The data folder made the service's (again after the configuration is
// written, which makes it the folder's), `configText` (the bytes checked)
// written to its configuration, the program copied where only
// administrators write, and that copy registered as the service running as
// `account` and as the Event Log source's message file. Exit code 1, saying why, when the service is there
// already or a step fails; 0 when it is installed.
int installServiceFrom(const std::string &configText, const ServiceAccount &account);
