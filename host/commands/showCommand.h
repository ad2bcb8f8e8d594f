// vornhost show [--json]: the plug-in's identity, its meter functions with
// their prompts and every meter value over its whole index range, without
// starting the plug-in; what the desktop host reads when it lists a plug-in.
#pragma once

#include <string>

struct ShowOptions {
    bool json = false;
};

int runShow(const std::string &pluginPath, const ShowOptions &options);
