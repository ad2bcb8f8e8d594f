// What `vornhost show --json` prints: the plug-in's identity and every
// meter reading as one JSON document.
#pragma once

#include <vector>

#include "host/plugin/pluginLoader.h"

// {"name", "author", "version", "created", "updated", "requires",
// "contact", "type", "meters": [{"function", "prompt", "readings":
// [{"index", "value"} or {"index", "error"}]}]}; a value as a number when
// the meter's text is one (840, 28.0), else as its text.
void printPluginJson(const Plugin &plugin, const std::vector<MeterInfo> &meters);
