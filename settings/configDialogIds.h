// Resource and control ids of the configuration dialog, shared by the
// resource script and the code. Plain #defines so that windres can read them.
#pragma once

#define configDialogTemplate 101

#define refreshRateSpin 1002
#define deviceIdSpin 1003
#define refreshRateEdit 1005
#define deviceIdEdit 1006
