// The simulator's control functions, one row each:
// SIM_CONTROL(member of SimControl, exported name, return type, parameters).
// simControl.h makes the declarations, the DLL's exports and SimControl from
// these rows; simControl.cpp defines the functions. No include guard: each of
// those includes it with its own SIM_CONTROL.
//
// `device` is a bus position, 0..SIM_MAX_DEVICES-1. Functions returning int
// return 0, or -1 for bad arguments, unless noted.

// Back to the default state: only a controller at position 0, default fan and
// temperature state with drift running, no pinned bytes, generator off, no
// faults, short I/O, delays or holds, gate open, empty log, counts zero,
// pacing off, read wait cap 1000 ms, gate limit 10000 ms. Open handles are
// forgotten (values are never reused anyway); reads blocked inside the DLL are
// released and leave no trace in the new log. In shared mode the controllers
// go back to their defaults for every process, and handles other processes
// hold become stale (status 4). The environment's ramps and silence go on.
SIM_CONTROL(reset, simReset, void, (void));

// simPlug puts a device back at a position; simUnplug takes it away: FT_Open
// no longer finds it and every call on a handle already open on it fails with
// 4 (FT_Close still releases the handle). Each position keeps its controller
// state while unplugged. simIsPlugged: 1 or 0.
SIM_CONTROL(plug, simPlug, int, (int device));
SIM_CONTROL(unplug, simUnplug, int, (int device));
SIM_CONTROL(isPlugged, simIsPlugged, int, (int device));

// Faults per operation (SimOp): the next call, only the n-th next one (1: the
// next), or every call until cleared (simClearFaults: op or SIM_OP_ALL).
// status 0 picks the natural code (2 for FT_Open, 4 for the rest). A failing
// call does nothing else: FT_Open leaves the handle variable alone,
// FT_Read/FT_Write report 0 bytes.
SIM_CONTROL(failNext, simFailNext, int, (int op, unsigned long status));
SIM_CONTROL(failNth, simFailNth, int, (int op, int n, unsigned long status));
SIM_CONTROL(failAlways, simFailAlways, int, (int op, unsigned long status));
SIM_CONTROL(clearFaults, simClearFaults, int, (int op));

// Each of the following applies to the next `times` calls (times -1: until
// cleared; 0, or ms 0, clears). A short write reports min(count, asked) bytes
// with status 0 and only those reach the device; a short read delivers at
// most `count` bytes with status 0, the rest stays pending.
SIM_CONTROL(shortWrite, simShortWrite, void, (int count, int times));
SIM_CONTROL(shortRead, simShortRead, void, (int count, int times));
// Holds of `ms` milliseconds. simReadDelay: FT_Read before it is served.
// simHoldCall: operation `op` as it enters the DLL, before anything else (a
// line setting that hangs, a slow write). simHelperThread: operation `op`, as
// it enters the DLL after any hold, starts a thread of the DLL's own that
// stays in the DLL's code for `ms` and joins it first, as a vendor library
// may do: a caller stopped meanwhile leaves it running, and under the
// loader lock held elsewhere the join waits for that lock (a thread's start
// and end pass through the loader). simHelperThreadsRunning counts those
// alive.
SIM_CONTROL(readDelay, simReadDelay, void, (int ms, int times));
SIM_CONTROL(holdCall, simHoldCall, int, (int op, int ms, int times));
SIM_CONTROL(helperThread, simHelperThread, int, (int op, int ms, int times));
SIM_CONTROL(helperThreadsRunning, simHelperThreadsRunning, int, (void));

// The read gate: while closed, every FT_Read waits inside the DLL (after any
// delay) until simGateOpen, a reset, or the gate limit (default 10000 ms, at
// most 60000) runs out. simGateWaiting: how many reads are held there.
SIM_CONTROL(gateClose, simGateClose, void, (void));
SIM_CONTROL(gateOpen, simGateOpen, void, (void));
SIM_CONTROL(gateWaiting, simGateWaiting, int, (void));
SIM_CONTROL(setGateLimit, simSetGateLimit, void, (int ms));

// FT_Read with fewer bytes pending than asked waits for the read time-out of
// FT_SetTimeouts (0 = forever), but never longer than this cap (default 1000
// ms, at most 60000), then returns what it has with status 0.
SIM_CONTROL(setReadWaitCap, simSetReadWaitCap, void, (int ms));

// Wire pacing: each write and read takes as long as its bytes need at the
// handle's baud rate, 10 bits per byte (request + frame at 19200: ~149 ms).
SIM_CONTROL(setPacing, simSetPacing, void, (int on));
SIM_CONTROL(getPacing, simGetPacing, int, (void));

// A device's controller state: percent 0..100 (reported as percent / 2); word
// -32768..32767 in 10.5 RPM steps; flag -128..127; sensor 0..7 digital, 8..13
// analog; halfDegrees -128..127, the level drift wanders a few half degrees
// around unless frozen.
SIM_CONTROL(setFanDuty, simSetFanDuty, int, (int device, int fan, int percent));
SIM_CONTROL(setFanMaxSpeed, simSetFanMaxSpeed, int, (int device, int fan, int word));
SIM_CONTROL(setFanManual, simSetFanManual, int, (int device, int fan, int flag));
SIM_CONTROL(setTemperature, simSetTemperature, int, (int device, int sensor, int halfDegrees));

// Pins frame byte `offset` of a device to `value` (0..255) above everything
// else, generator included; value -1 removes that pin.
SIM_CONTROL(setFrameByte, simSetFrameByte, int, (int device, int offset, int value));
SIM_CONTROL(clearFrameBytes, simClearFrameBytes, int, (int device));

// frozen 1: temperatures are reported exactly at their levels; 0: they drift.
SIM_CONTROL(freezeDrift, simFreezeDrift, void, (int frozen));
// Frame-generator mode on/off (see simGeneratorByte).
SIM_CONTROL(setFrameGenerator, simSetFrameGenerator, void, (int on));
// Copies the frame the device would send for the next request into out
// (SIM_FRAME_SIZE bytes) without counting a reply.
SIM_CONTROL(getFrame, simGetFrame, int, (int device, unsigned char *out));

// The call log: simLogCount is the number of entries recorded since the last
// reset or clear (it may exceed SIM_LOG_CAPACITY; older entries are then
// gone). simLogGet copies entry `index` and returns 1, or 0 if it was never
// recorded or has been overwritten.
SIM_CONTROL(logCount, simLogCount, int, (void));
SIM_CONTROL(logGet, simLogGet, int, (int index, SimLogEntry *out));
SIM_CONTROL(logClear, simLogClear, void, (void));

SIM_CONTROL(getCounts, simGetCounts, void, (SimCounts * out));
SIM_CONTROL(frameCount, simFrameCount, int, (void));   // = counts.framesSent
SIM_CONTROL(openHandles, simOpenHandles, int, (void)); // = counts.openHandles
// 1 when this process shares its controllers with others (shared mode).
SIM_CONTROL(isShared, simIsShared, int, (void));

// What the device list shows of a position: serial number (at most 15
// characters), description (at most 63) and location. simSetDeviceKind puts a
// controller or a foreign device (SIM_KIND_*) there, with that kind's default
// identity; plugged in or not stays as it is.
SIM_CONTROL(setDeviceInfo, simSetDeviceInfo, int,
            (int device, const char *serial, const char *description, unsigned long location));
SIM_CONTROL(setDeviceKind, simSetDeviceKind, int, (int device, int kind));
