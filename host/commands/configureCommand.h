// vornhost configure: the plug-in's settings dialog without the desktop host.
// Initialises the common controls as many desktop hosts do (user32 would
// also load them by itself for the dialog's spin buttons), starts the
// plug-in with a window of its own and opens the dialog; once it is closed,
// waits a little and prints the readings, so that a changed device number
// can be seen at work from the next poll.
#pragma once

#include <string>

int runConfigure(const std::string &pluginPath);
