// vornhost configure: the plug-in's settings dialog without the desktop host.
// Registers the common controls as a desktop host does (the dialog's spin
// buttons need them), starts the plug-in with a window of its own and opens
// the dialog; once it is closed, waits a little and prints the readings, so
// that a changed device number can be seen at work from the next poll.
#pragma once

#include <string>

int runConfigure(const std::string &pluginPath);
