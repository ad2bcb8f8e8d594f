// What ends `vornhost watch` and `vornhost control` before their --count,
// and the time Windows gives control to send the exit duties first (watch
// has none and says so at once).
//
// - Ctrl-C and Ctrl-Break: the console's handler (run by Windows on a thread
//   of its own) asks the loop to stop and returns at once; the loop sends
//   the exit duties and ends.
// - Closing the console (CTRL_CLOSE_EVENT): Windows ends the process as soon
//   as the handler returns, and about 5 s after the event if it has not. So
//   the handler asks the loop to stop and then waits, within the exit's
//   deadline, until the loop says the exit duties are out (exitDutiesDone).
// - Log-off and shutdown: the same for CTRL_LOGOFF_EVENT and
//   CTRL_SHUTDOWN_EVENT, which Windows delivers to the handler only while
//   the program has not loaded user32. vornhost has, so these come as
//   WM_ENDSESSION to its hidden window instead (host/process/stopWindow.h).
#pragma once

#include <windows.h>

#include <atomic>

enum class StopCause {
    None,
    Count,       // --count polls done
    CtrlC,       // Ctrl-C
    CtrlBreak,   // Ctrl-Break
    Close,       // the console closed
    LogOff,      // the user logs off
    Shutdown,    // Windows shuts down
    Service,     // the service manager stops the service
    PreShutdown, // the service manager's notice before a shutdown
};

// "count", "ctrl-c", "ctrl-break", "close", "logoff", "shutdown", "stop",
// "preshutdown".
const char *stopCauseName(StopCause cause);

// Makes the events of a stop request ready (a service has no console).
void prepareStop();
// prepareStop, then registers the console handler; from then on the events
// above request a stop.
void watchConsoleStop();

// Records the cause (the first one stays) and sets stopEvent.
void requestStop(StopCause cause);
StopCause stopRequested();
// True once a stop is requested, for waits that take a flag.
const std::atomic<bool> &stopFlag();
// Set once a stop is requested, for waits that take an event.
HANDLE stopEvent();

// From the first stop request, every wait on the way out (the turn, the
// sends, a handler waiting for them) ends within this: Windows ends a
// program about 5 s after its console closes or the session ends.
constexpr DWORD kExitDeadlineMs = 3500;
// What is left of that deadline now; all of it before a stop is requested.
DWORD exitTimeLeftMs();

// The exit duties went out (or were given up): a handler waiting for them
// returns, and Windows may end the process.
void exitDutiesDone();
// Waits for that, within the exit's deadline.
void awaitExitDuties();
