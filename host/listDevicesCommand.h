// vornhost list-devices [--probe] [--json]: every device the bridge library
// knows, with the device number to enter in the plug-in's configuration, its
// serial number, description, location and whether another program has it
// open. --probe sends the status request to each device not in use and tells
// whether a complete reply came back (the controller) or not; without it
// nothing is written to any device.
#pragma once

struct Invocation;

int runListDevices(const Invocation &invocation);
