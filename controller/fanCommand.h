// Setting one fan's duty on a connection of its own: the command is built and
// checked in core/fanCommand.h, sent here under the controller's lock. No reply.
#pragma once

#include <windows.h>

// Sends the duty command for the fan and percent given as texts (read like
// every numeric parameter). Null when the command went out; otherwise a
// constant text: a range message, the pending error text, the busy text or
// the connection's failure text.
const char *sendFanDuty(const char *fanText, const char *percentText);
