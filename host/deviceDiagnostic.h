// vornhost read-device N | --serial S [--json]: one status exchange with the
// controller through the plug-in's own device functions, decoded field by
// field. It is how a user checks the wiring and the device number.
#pragma once

struct Invocation;

int runReadDevice(const Invocation &invocation);
