// Control interface of the simulated fan controller, our stand-in FTD2XX.dll
// (simulator/README.md tells what it simulates). Besides the bridge
// operations, the DLL exports the functions of simControlTable.h by plain
// name: cdecl, thread-safe, never blocking, taking and returning only ints,
// unsigned longs and pointers to the PODs below. Callers resolve them from the
// DLL that is already loaded:
//
//     SimControl sim;
//     ASSERT_TRUE(sim.load(GetModuleHandleA("FTD2XX.dll"))) << sim.missing;
//     sim.reset();
#pragma once

#include <windows.h>

#include "core/protocol.h"
#include "core/statusFrame.h"

#define SIM_API __cdecl

// The status frame and the commands, as docs/protocol.md describes them (the
// bytes are core/protocol.h's, the offsets core/statusFrame.h's).
#define SIM_FRAME_SIZE kStatusFrameSize
#define SIM_REQUEST_STATUS kStatusRequest
#define SIM_CMD_SET_DUTY kSetDutyCommand
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
// on its offset k: never zero, different from its neighbours, negative as a
// signed byte; so a frame can be told apart from zeros and a shifted offset
// shows.
inline unsigned char simFillerByte(int k)
{
    return static_cast<unsigned char>(0x80 | (k & 0x7F));
}

// Frame-generator mode (simSetFrameGenerator(1)): instead of encoding the
// state, the k-th reply since the last reset (k = 1, 2, 3 ...) has EVERY byte
// equal to 1 + (k - 1) % 255, never zero; pinned bytes still apply on top. A
// reader that ends up with bytes of two different replies sees two values.
inline unsigned char simGeneratorByte(int k)
{
    return static_cast<unsigned char>(1 + (k - 1) % 255);
}

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

#define SIM_MAX_DEVICES 8      // bus positions 0..7
#define SIM_LOG_CAPACITY 16384 // the log keeps the latest entries
#define SIM_LOG_DATA_MAX 300   // bytes kept per entry (a frame fits)

// What sits at a position (simSetDeviceKind): the fan controller, or another
// FTDI product that takes every byte written to it and never answers.
#define SIM_KIND_CONTROLLER 0
#define SIM_KIND_FOREIGN 1

// Flags of a log entry.
enum SimLogFlag {
    SIM_LOG_INJECTED = 0x01,        // failure injected by simFail*
    SIM_LOG_SHORT = 0x02,           // short write/read injected
    SIM_LOG_UNCONFIGURED = 0x04,    // line settings missing or wrong: read refused, bytes not understood
    SIM_LOG_UNKNOWN_COMMAND = 0x08, // written bytes the device ignored
    SIM_LOG_BAD_DUTY = 0x10,        // duty command over 100 % (ignored) or cut off before its percent byte
    SIM_LOG_READ_TIMEOUT = 0x20,    // read returned fewer bytes than asked after waiting out the time-out
    SIM_LOG_DELAYED = 0x40,         // read held by simReadDelay
    SIM_LOG_GATED = 0x80,           // read held at the gate
    SIM_LOG_GATE_LIMIT = 0x100,     // ... and let through by the gate limit
    SIM_LOG_UNPLUGGED = 0x200,      // handle's device was unplugged
    SIM_LOG_BAD_HANDLE = 0x400,     // unknown or closed handle
    SIM_LOG_CLOSED_DURING_READ = 0x800,
    SIM_LOG_HELPER_THREAD = 0x1000, // the call ran and joined a helper thread first
};

// One call of a bridge operation, recorded when the call returns. args:
// FT_Open {device number}; FT_Read, FT_Write {bytes asked}; FT_SetBaudRate
// {baud}; FT_SetDataCharacteristics {word length, stop bits, parity};
// FT_SetTimeouts {read ms, write ms}; unused slots 0.
struct SimLogEntry {
    int seq;                              // 0-based position since the last reset / log clear
    int op;                               // SimOp
    void *handle;                         // handle argument; FT_Open: handle returned or NULL
    int device;                           // FT_Open: number asked; else the handle's position or -1
    unsigned long args[3];                // above
    unsigned long status;                 // status returned
    unsigned long count;                  // FT_Read/Write: bytes reported to the caller
    int flags;                            // SimLogFlag
    unsigned long threadId;               // GetCurrentThreadId() of the caller
    unsigned long timeMs;                 // milliseconds since the last reset
    int dataLen;                          // bytes in data (min(count, SIM_LOG_DATA_MAX))
    unsigned char data[SIM_LOG_DATA_MAX]; // bytes written / read
};

// Counters since the last reset, except the two live values at the end.
struct SimCounts {
    int opensOk;             // FT_Open calls that returned a handle
    int closesOk;            // FT_Close calls that returned 0
    int openHandles;         // handles open now (with stale ones not closed yet)
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
};

// The declarations; the DLL's build defines SIM_EXPORT to export them by name.
#ifndef SIM_EXPORT
#define SIM_EXPORT
#endif
extern "C" {
#define SIM_CONTROL(member, name, result, parameters) SIM_EXPORT result SIM_API name parameters
#include "simControlTable.h"
#undef SIM_CONTROL
}

// Resolves every control function from a loaded FTD2XX.dll.
struct SimControl {
#define SIM_CONTROL(member, name, result, parameters) decltype(&name) member = nullptr
#include "simControlTable.h"
#undef SIM_CONTROL

    const char *missing = nullptr; // first name that did not resolve

    // True when every function resolved. Pass the module of the FTD2XX.dll in
    // use, e.g. GetModuleHandleA("FTD2XX.dll") or LoadLibraryA's result.
    bool load(HMODULE module)
    {
        missing = module ? nullptr : "(module)";
#define SIM_CONTROL(member, name, result, parameters) get(module, member, #name)
#include "simControlTable.h"
#undef SIM_CONTROL
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
        field = module ? reinterpret_cast<F>(reinterpret_cast<void *>(GetProcAddress(module, name))) : nullptr;
        if (!field && !missing)
            missing = name;
    }
};
