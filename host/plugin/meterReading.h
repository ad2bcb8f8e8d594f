// A reading (host/output/reading.h) taken through the plug-in's meters, as
// the desktop host shows them.
#pragma once

#include <vector>

#include "host/output/reading.h"
#include "host/plugin/pluginLoader.h"

// Reads every value through the meters. The first meter that answers with a
// text of its own (the pending error) ends it: that text goes into error.
// False when the plug-in lacks one of the meters.
bool readingFromMeters(const std::vector<MeterInfo> &meters, Reading &out);
