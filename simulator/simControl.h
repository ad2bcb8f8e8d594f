// Control interface of the simulated fan controller (our stand-in FTD2XX.dll).
//
// The DLL exports the seven bridge operations (FT_Open ... FT_SetTimeouts) at
// the bridge library's ordinals and by name, and in addition the sim* functions
// below, by plain name only. All sim* functions use the C calling convention
// (__cdecl, SIM_API) and take and return only ints, unsigned longs and pointers
// to the PODs in this header, so a test or a demo built separately can call
// them. They are thread-safe and never block, except where noted.
//
// Tests normally resolve them at run time from the DLL that is already loaded:
//
//     SimControl sim;
//     ASSERT_TRUE(sim.load(GetModuleHandleA("FTD2XX.dll"))) << sim.missing;
//     sim.reset();
//
// The simulated state lives in the DLL's statics: it survives VORN.dll being
// unloaded and loaded again as long as somebody keeps FTD2XX.dll loaded.
//
// Shared mode: with VORNSIM_SHARED=1 in the environment when the DLL loads,
// the controllers themselves (plugged or not, fan duties, manual flags,
// maximum speeds, temperature levels and drift) are one set shared by every
// process of the Wine server or Windows session that loads the DLL that way,
// as a real controller is one device for all processes. Handles, the log,
// counts, faults, short I/O, delays, the gate, pacing, pinned frame bytes and
// the frozen / generator switches stay per process. See simIsShared.
//
// Call trace: with VORNSIM_CALL_TRACE=<file> in the environment when the DLL
// loads, every bridge operation appends its name ("open", "close", "read",
// "write", "baud", "data", "timeouts") and a line feed to that file as it is
// called. The file is written straight through, so it tells another process
// which calls a process made, up to and across its exit.
#pragma once

#include <windows.h>

#include "core/statusFrame.h"

#define SIM_API __cdecl

// ---------------------------------------------------------------------------
// The status frame and the commands, as docs/protocol.md describes them (the
// offsets are core/statusFrame.h's).
#define SIM_FRAME_SIZE kStatusFrameSize
#define SIM_REQUEST_STATUS 0x36
#define SIM_CMD_SET_DUTY 0x11
#define SIM_FANS kFanCount
#define SIM_DIGITAL_TEMPS kDigitalSensorCount
#define SIM_ANALOG_TEMPS kAnalogSensorCount
#define SIM_TEMPS (SIM_DIGITAL_TEMPS + SIM_ANALOG_TEMPS)
#define SIM_OFF_MANUAL kManualModeOffset
#define SIM_OFF_DUTY kFanDutyOffset
#define SIM_OFF_MAXSPEED kMaxRpmRawOffset
#define SIM_OFF_DIGITAL_TEMP kDigitalTempOffset
#define SIM_OFF_ANALOG_TEMP kAnalogTempOffset

// Every byte outside the fields above holds a fixed filler that depends only
// on its offset k: 0x80 | (k & 0x7F). It is never zero, neighbouring bytes
// differ, and as a signed byte it is always negative, so a frame can be told
// apart from zeros and a shifted offset shows.
static inline unsigned char simFillerByte(int k)
{
    return (unsigned char)(0x80 | (k & 0x7F));
}

// Frame-generator mode (simSetFrameGenerator(1)): instead of encoding the
// state, the k-th reply since the last reset (k = 1, 2, 3 ...) has EVERY byte
// equal to simGeneratorByte(k) = 1 + (k - 1) % 255, which is never zero.
// Overrides set with simSetFrameByte still apply on top. A reader that ends up
// with bytes of two different replies therefore sees two different values.
static inline unsigned char simGeneratorByte(int k)
{
    return (unsigned char)(1 + (k - 1) % 255);
}

// ---------------------------------------------------------------------------
// Operations, as used in the log, the fault switches and the counts.
enum SimOp {
    SIM_OP_OPEN = 0,
    SIM_OP_CLOSE = 1,
    SIM_OP_READ = 2,
    SIM_OP_WRITE = 3,
    SIM_OP_SET_BAUD_RATE = 4,
    SIM_OP_SET_DATA_CHARACTERISTICS = 5,
    SIM_OP_SET_TIMEOUTS = 6,
    SIM_OP_COUNT = 7,
    SIM_OP_ALL = -1 // for simClearFaults
};

// Status codes the simulator returns.
#define SIM_FT_OK 0
#define SIM_FT_INVALID_HANDLE 1    // unknown or closed handle
#define SIM_FT_DEVICE_NOT_FOUND 2  // FT_Open: no device behind that number
#define SIM_FT_DEVICE_NOT_OPENED 3 // FT_Open: device already open elsewhere
#define SIM_FT_IO_ERROR 4          // device unplugged, unconfigured read, ...
#define SIM_FT_INVALID_PARAMETER 6 // null pointer, impossible serial setting

#define SIM_MAX_DEVICES 8      // device numbers 0..7 can be plugged
#define SIM_LOG_CAPACITY 16384 // the log keeps the latest entries
#define SIM_LOG_DATA_MAX 300   // bytes kept per entry (a frame fits)

// Flags of a log entry.
#define SIM_LOG_INJECTED 0x01 // failure injected by simFail*
#define SIM_LOG_SHORT 0x02    // short write/read injected
#define SIM_LOG_UNCONFIGURED                                                                                           \
    0x04                             // port settings missing or wrong: read
                                     // refused, written bytes not understood
#define SIM_LOG_UNKNOWN_COMMAND 0x08 // written bytes the device ignored
#define SIM_LOG_BAD_DUTY                                                                                               \
    0x10 // duty command with percent > 100 (ignored)
         // or cut off before its percent byte
#define SIM_LOG_READ_TIMEOUT                                                                                           \
    0x20                         // read returned fewer bytes than asked
                                 // after waiting out the read time-out
#define SIM_LOG_DELAYED 0x40     // read held by simReadDelay
#define SIM_LOG_GATED 0x80       // read held at the gate
#define SIM_LOG_GATE_LIMIT 0x100 // ... and let through by the gate limit
#define SIM_LOG_UNPLUGGED 0x200  // handle's device was unplugged
#define SIM_LOG_BAD_HANDLE 0x400 // unknown or closed handle
#define SIM_LOG_CLOSED_DURING_READ 0x800
#define SIM_LOG_HELPER_THREAD 0x1000 // read ran and joined a helper thread first

// One call of a bridge operation, recorded when the call returns.
typedef struct SimLogEntry {
    int seq;                              // 0-based position since the last reset / log clear
    int op;                               // SimOp
    void *handle;                         // handle argument; FT_Open: handle returned or NULL
    int device;                           // FT_Open: requested number; else the handle's
                                          // device, -1 when the handle is unknown
    unsigned long args[3];                // FT_Open: {device}; FT_Read/Write: {bytes asked};
                                          // SetBaudRate: {baud}; SetDataCharacteristics:
                                          // {wordLength, stopBits, parity}; SetTimeouts:
                                          // {read ms, write ms}; unused slots 0
    unsigned long status;                 // status returned
    unsigned long count;                  // FT_Read/Write: bytes reported to the caller
    int flags;                            // SIM_LOG_*
    unsigned long threadId;               // GetCurrentThreadId() of the caller
    unsigned long timeMs;                 // milliseconds since the last reset
    int dataLen;                          // bytes in data (min(count, SIM_LOG_DATA_MAX))
    unsigned char data[SIM_LOG_DATA_MAX]; // bytes written / read
} SimLogEntry;

// Counters since the last reset, except the two live values at the end.
typedef struct SimCounts {
    int opensOk;             // FT_Open calls that returned a handle
    int closesOk;            // FT_Close calls that returned 0
    int openHandles;         // handles currently open (including stale ones
                             // of unplugged devices that were not closed yet)
    int badHandleCalls;      // calls on an unknown or closed handle (status 1)
    int badCloses;           // ... of which FT_Close (double or bogus close)
    int unpluggedCalls;      // calls on a handle whose device was unplugged
    int unconfiguredReads;   // reads refused for missing port settings
    int injectedFailures;    // failures produced by simFail*
    int failedCalls;         // all calls that returned a nonzero status
    int framesSent;          // complete frames delivered through FT_Read
    int repliesGenerated;    // status requests answered (k of the last reply)
    int unknownCommandBytes; // written bytes the device ignored
    int calls[SIM_OP_COUNT]; // calls per operation, whatever the outcome
    int readsInProgress;     // live: FT_Read calls currently inside the DLL
    int gateWaiting;         // live: FT_Read calls currently held at the gate
} SimCounts;

#ifdef __cplusplus
extern "C" {
#endif

// Back to the default state: only device 0 plugged, default fan and
// temperature state with drift running, no overrides, generator off, no
// faults / short I/O / delays, gate open, empty log, counts zero, pacing off,
// read wait cap 1000 ms, gate limit 10000 ms. Open handles are forgotten
// (they become unknown); handle values are never reused anyway. Reads still
// blocked inside the DLL are released and leave no trace in the new log.
// In shared mode the controllers go back to their defaults for every
// process; handles other processes hold become stale (status 4).
void SIM_API simReset(void);

// Device numbers (0..SIM_MAX_DEVICES-1). simPlug puts a controller behind a
// number (also "replug"); simUnplug removes it: FT_Open then fails with 2 and
// every call on a handle already open on it fails with 4 (FT_Close still
// releases the handle). Every device number has its own controller state,
// set to the defaults by a reset and kept while unplugged. Return 0, or -1
// for a bad device number (simIsPlugged: 1 or 0).
int SIM_API simPlug(int device);
int SIM_API simUnplug(int device);
int SIM_API simIsPlugged(int device);

// Fault injection, per operation (SimOp). status 0 picks the natural code
// (2 for FT_Open, 4 for the rest). A failing call does nothing else: FT_Open
// leaves the handle variable alone, FT_Read/FT_Write report 0 bytes.
// simFailNth(op, n, s): only the n-th next call fails (n = 1: the next one).
// simFailNext(op, s) = simFailNth(op, 1, s). simFailAlways: every call until
// cleared. simClearFaults(op or SIM_OP_ALL). Return 0, or -1 for bad args.
int SIM_API simFailNext(int op, unsigned long status);
int SIM_API simFailNth(int op, int n, unsigned long status);
int SIM_API simFailAlways(int op, unsigned long status);
int SIM_API simClearFaults(int op);

// Short I/O for the next `times` calls (times -1: until cleared; 0 clears).
// A short write reports min(count, asked) bytes with status 0 and only those
// bytes reach the device. A short read delivers at most `count` bytes with
// status 0; what it did not deliver stays pending for the next read.
void SIM_API simShortWrite(int count, int times);
void SIM_API simShortRead(int count, int times);

// Hold the next `times` FT_Read calls for `ms` milliseconds before they are
// served (times -1: until cleared; ms 0 or times 0 clears).
void SIM_API simReadDelay(int ms, int times);

// Hold the next `times` calls of operation `op` (SIM_OP_*) for `ms`
// milliseconds as they enter the DLL, before anything else happens to them
// (times -1: until cleared; ms 0 or times 0 clears): a line setting that
// hangs, or a slow write. Returns 0, or -1 for a bad op.
int SIM_API simHoldCall(int op, int ms, int times);

// The next `times` FT_Read calls (times -1: until cleared; ms 0 or times 0
// clears) each start a thread of the DLL's own that stays inside the DLL's
// code for `ms` milliseconds, and join it before they go on, as a vendor
// library may do. A reader stopped meanwhile leaves the thread running.
// simHelperThreadsRunning: how many such threads are alive now.
void SIM_API simReadHelperThread(int ms, int times);
int SIM_API simHelperThreadsRunning(void);

// The read gate: while closed, every FT_Read waits inside the DLL (after any
// delay) until simGateOpen, a reset, or the gate limit (default 10000 ms,
// at most 60000) runs out. simGateWaiting tells how many reads are held.
void SIM_API simGateClose(void);
void SIM_API simGateOpen(void);
int SIM_API simGateWaiting(void);
void SIM_API simSetGateLimit(int ms);

// FT_Read with fewer bytes pending than asked waits for the read time-out
// given to FT_SetTimeouts (0 = forever), but never longer than this cap
// (default 1000 ms, at most 60000), then returns what it has with status 0.
void SIM_API simSetReadWaitCap(int ms);

// Wire pacing: each write and read takes as long as its bytes would need at
// the handle's baud rate, 10 bits per byte (request + frame at 19200: ~149 ms).
// Off after reset; on at load when the environment has VORNSIM_WIRE_PACING=1.
void SIM_API simSetPacing(int on);
int SIM_API simGetPacing(void);

// The simulated controller state of a plugged-in or unplugged device number.
// percent 0..100 (reported as percent / 2); word -32768..32767 in 10.5 RPM
// steps; flag -128..127; sensor 0..7 digital, 8..13 analog (8 = analog 0),
// halfDegrees -128..127. While drift runs, a temperature wanders a few half
// degrees around the level set here; frozen, it is reported exactly.
// Return 0, or -1 for bad args.
int SIM_API simSetFanDuty(int device, int fan, int percent);
int SIM_API simSetFanMaxSpeed(int device, int fan, int word);
int SIM_API simSetFanManual(int device, int fan, int flag);
int SIM_API simSetTemperature(int device, int sensor, int halfDegrees);

// Pin frame byte `offset` of a device to `value` (0..255) above everything
// else, generator included; value -1 removes that pin.
int SIM_API simSetFrameByte(int device, int offset, int value);
int SIM_API simClearFrameBytes(int device);

// frozen 1: temperatures are reported exactly at their levels; 0: they drift.
void SIM_API simFreezeDrift(int frozen);
// Frame-generator mode on/off (rule above, at simGeneratorByte).
void SIM_API simSetFrameGenerator(int on);

// Copies the frame the device would send for the next request into out
// (SIM_FRAME_SIZE bytes), without counting a reply. Returns 0 or -1.
int SIM_API simGetFrame(int device, unsigned char *out);

// The call log: simLogCount is the number of entries recorded since the last
// reset or clear (it may exceed SIM_LOG_CAPACITY; older entries are then
// gone). simLogGet copies entry `index` (0-based) and returns 1, or returns 0
// if it was never recorded or has been overwritten.
int SIM_API simLogCount(void);
int SIM_API simLogGet(int index, SimLogEntry *out);
void SIM_API simLogClear(void);

void SIM_API simGetCounts(SimCounts *out);
int SIM_API simFrameCount(void);  // = counts.framesSent
int SIM_API simOpenHandles(void); // = counts.openHandles

// 1 when this process shares its controllers with other processes (shared
// mode asked for and set up), 0 when they are its own.
int SIM_API simIsShared(void);

#ifdef __cplusplus
} // extern "C"

// Resolves every control function from a loaded FTD2XX.dll.
struct SimControl {
    decltype(&simReset) reset = nullptr;
    decltype(&simPlug) plug = nullptr;
    decltype(&simUnplug) unplug = nullptr;
    decltype(&simIsPlugged) isPlugged = nullptr;
    decltype(&simFailNext) failNext = nullptr;
    decltype(&simFailNth) failNth = nullptr;
    decltype(&simFailAlways) failAlways = nullptr;
    decltype(&simClearFaults) clearFaults = nullptr;
    decltype(&simShortWrite) shortWrite = nullptr;
    decltype(&simShortRead) shortRead = nullptr;
    decltype(&simReadDelay) readDelay = nullptr;
    decltype(&simHoldCall) holdCall = nullptr;
    decltype(&simReadHelperThread) readHelperThread = nullptr;
    decltype(&simHelperThreadsRunning) helperThreadsRunning = nullptr;
    decltype(&simGateClose) gateClose = nullptr;
    decltype(&simGateOpen) gateOpen = nullptr;
    decltype(&simGateWaiting) gateWaiting = nullptr;
    decltype(&simSetGateLimit) setGateLimit = nullptr;
    decltype(&simSetReadWaitCap) setReadWaitCap = nullptr;
    decltype(&simSetPacing) setPacing = nullptr;
    decltype(&simGetPacing) getPacing = nullptr;
    decltype(&simSetFanDuty) setFanDuty = nullptr;
    decltype(&simSetFanMaxSpeed) setFanMaxSpeed = nullptr;
    decltype(&simSetFanManual) setFanManual = nullptr;
    decltype(&simSetTemperature) setTemperature = nullptr;
    decltype(&simSetFrameByte) setFrameByte = nullptr;
    decltype(&simClearFrameBytes) clearFrameBytes = nullptr;
    decltype(&simFreezeDrift) freezeDrift = nullptr;
    decltype(&simSetFrameGenerator) setFrameGenerator = nullptr;
    decltype(&simGetFrame) getFrame = nullptr;
    decltype(&simLogCount) logCount = nullptr;
    decltype(&simLogGet) logGet = nullptr;
    decltype(&simLogClear) logClear = nullptr;
    decltype(&simGetCounts) getCounts = nullptr;
    decltype(&simFrameCount) frameCount = nullptr;
    decltype(&simOpenHandles) openHandles = nullptr;
    decltype(&simIsShared) isShared = nullptr;

    const char *missing = nullptr; // first name that did not resolve

    // True when every function resolved. Pass the module of the FTD2XX.dll in
    // use, e.g. GetModuleHandleA("FTD2XX.dll") or LoadLibraryA's result.
    bool load(HMODULE module)
    {
        missing = nullptr;
        if (!module) {
            missing = "(module)";
            return false;
        }
#define SIM_RESOLVE_(field, name) get(module, field, #name)
        SIM_RESOLVE_(reset, simReset);
        SIM_RESOLVE_(plug, simPlug);
        SIM_RESOLVE_(unplug, simUnplug);
        SIM_RESOLVE_(isPlugged, simIsPlugged);
        SIM_RESOLVE_(failNext, simFailNext);
        SIM_RESOLVE_(failNth, simFailNth);
        SIM_RESOLVE_(failAlways, simFailAlways);
        SIM_RESOLVE_(clearFaults, simClearFaults);
        SIM_RESOLVE_(shortWrite, simShortWrite);
        SIM_RESOLVE_(shortRead, simShortRead);
        SIM_RESOLVE_(readDelay, simReadDelay);
        SIM_RESOLVE_(holdCall, simHoldCall);
        SIM_RESOLVE_(readHelperThread, simReadHelperThread);
        SIM_RESOLVE_(helperThreadsRunning, simHelperThreadsRunning);
        SIM_RESOLVE_(gateClose, simGateClose);
        SIM_RESOLVE_(gateOpen, simGateOpen);
        SIM_RESOLVE_(gateWaiting, simGateWaiting);
        SIM_RESOLVE_(setGateLimit, simSetGateLimit);
        SIM_RESOLVE_(setReadWaitCap, simSetReadWaitCap);
        SIM_RESOLVE_(setPacing, simSetPacing);
        SIM_RESOLVE_(getPacing, simGetPacing);
        SIM_RESOLVE_(setFanDuty, simSetFanDuty);
        SIM_RESOLVE_(setFanMaxSpeed, simSetFanMaxSpeed);
        SIM_RESOLVE_(setFanManual, simSetFanManual);
        SIM_RESOLVE_(setTemperature, simSetTemperature);
        SIM_RESOLVE_(setFrameByte, simSetFrameByte);
        SIM_RESOLVE_(clearFrameBytes, simClearFrameBytes);
        SIM_RESOLVE_(freezeDrift, simFreezeDrift);
        SIM_RESOLVE_(setFrameGenerator, simSetFrameGenerator);
        SIM_RESOLVE_(getFrame, simGetFrame);
        SIM_RESOLVE_(logCount, simLogCount);
        SIM_RESOLVE_(logGet, simLogGet);
        SIM_RESOLVE_(logClear, simLogClear);
        SIM_RESOLVE_(getCounts, simGetCounts);
        SIM_RESOLVE_(frameCount, simFrameCount);
        SIM_RESOLVE_(openHandles, simOpenHandles);
        SIM_RESOLVE_(isShared, simIsShared);
#undef SIM_RESOLVE_
        return missing == nullptr;
    }

    SimCounts counts() const
    {
        SimCounts c{};
        getCounts(&c);
        return c;
    }

private:
    template <typename F>
    void get(HMODULE module, F &field, const char *name)
    {
        field = reinterpret_cast<F>(reinterpret_cast<void *>(GetProcAddress(module, name)));
        if (!field && !missing)
            missing = name;
    }
};
#endif // __cplusplus
