// `vornhost service run`: the service process the service manager starts.
// It runs the same control loop as `vornhost control` (host/fans/
// controlRun.h) on %ProgramData%\VORN\fan-curve.json, with the claims on its
// fans held against any console loop, and answers the service manager:
// STOP and PRESHUTDOWN end the loop with the exit duties (reported as
// pending with a wait hint until they are out), POWEREVENT with a resume
// polls at once and sends every duty again.
#pragma once

// Exit code 1, saying so, when not started by the service manager.
int runServiceProcess();
