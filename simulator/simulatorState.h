// The simulator of one process: its handles and everything a test steers,
// beside the device records of a SharedState. One mutex guards it all; it is
// never held while a call sleeps or waits, and every wait is bounded. The
// shared records' named lock is only taken with the mutex held, around single
// accesses. A reset bumps `epoch`: calls that were already inside the DLL
// finish without touching the fresh log and counts.
#pragma once

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "bridge/d2xx.h"
#include "bridge/d2xxList.h"
#include "simulator/sharedState.h"
#include "simulator/simControl.h"

namespace vornsim {

using Clock = std::chrono::steady_clock;

// One open handle.
struct Port {
    int device = -1; // its position
    // The line settings as last applied, by operation from SIM_OP_SET_BAUD_RATE
    // on: {baud}, {word length, stop bits, parity}, {read and write time-out}.
    bool lineSet[3] = {};
    unsigned long line[3][3] = {};
    bool unplugged = false;           // its device went away; the handle is stale
    uint32_t plugCycle = 0;           // the device's plug cycle when opened
    std::deque<uint8_t> rx;           // reply bytes not read yet
    unsigned long long delivered = 0; // reply bytes read so far

    ULONG baud() const { return line[0][0]; }
    // The controller only talks 19200 baud, 8 data bits, 1 stop bit, no parity.
    bool settingsApplied() const
    {
        return lineSet[0] && line[0][0] == kBaudRate && lineSet[1] && line[1][0] == 8 && line[1][1] == 0 &&
               line[1][2] == 0;
    }
};

struct Fault {
    int countdown = 0; // fails when it counts down to 0 (1: the next call); below 0: always
    FT_STATUS status = 0;
};

// "For the next `times` calls use `value`" (times below 0: until cleared).
struct Ticket {
    int value = 0;
    int times = 0;
    bool take(int &v)
    {
        if (times == 0)
            return false;
        times -= times > 0;
        v = value;
        return true;
    }
};

// What a reset puts back to its start: this process's handles, switches,
// counts and log.
struct Session {
    std::map<uintptr_t, Port> ports;
    uint16_t pinned[SIM_MAX_DEVICES][SIM_FRAME_SIZE] = {}; // simSetFrameByte: value + 1, 0: none
    Fault faults[SIM_OP_COUNT];
    Ticket shortWrite, shortRead, readDelay;
    Ticket holds[SIM_OP_COUNT];   // simHoldCall: ms to wait before serving a call
    Ticket helpers[SIM_OP_COUNT]; // simHelperThread: ms a helper thread runs, joined first
    bool gateClosed = false, pacing = false, frozen = false, generator = false;
    int gateLimitMs = 10000, readWaitCapMs = 1000;
    std::vector<FT_DEVICE_LIST_INFO_NODE> listSnapshot; // as FT_CreateDeviceInfoList took it last
    SimCounts counts{};
    int logCount = 0;
    Clock::time_point resetAt = Clock::now();
};

// The value of an environment variable; empty when not set.
std::string environment(const char *name);
// VORNSIM_SHARED=1, or the machine's switch for services: Shared = 1 (a
// DWORD) under HKLM\SOFTWARE\VornSimulator. A service gets the environment
// its service manager read when it started, so a test cannot hand it the
// variable.
bool sharedModeAsked();

struct Sim : Session {
    std::mutex mu;
    SharedState store;
    std::vector<SimLogEntry> log = std::vector<SimLogEntry>(SIM_LOG_CAPACITY);
    uintptr_t handlesIssued = 0; // never reset: handle values stay unique
    unsigned epoch = 0, gateGeneration = 0;
    std::atomic<int> readsInProgress{0}, helperThreadsRunning{0};
    int gateWaiting = 0;

    // Loading never resets shared records: a process attaching to controllers
    // that others already use finds them as they are.
    Sim()
    {
        Scenario scenario;
        scenario.read(environment("VORNSIM_RAMP"), environment("VORNSIM_SILENT_AFTER"));
        store.open(sharedModeAsked(), environment("VORNSIM_DEVICES"), scenario);
        pacing = environment("VORNSIM_WIRE_PACING") == "1";
    }

    // simReset: the device records (shared ones too) and this process's state.
    void resetLocked()
    {
        {
            SharedState::Lock shared(store);
            store.resetDevices();
        }
        ++epoch;
        ++gateGeneration;
        static_cast<Session &>(*this) = Session{};
    }

    // The frame device `device` sends as reply number k. Shared lock held.
    void encode(int device, int k, uint8_t out[SIM_FRAME_SIZE])
    {
        if (generator)
            std::memset(out, simGeneratorByte(k), SIM_FRAME_SIZE);
        else
            store.device(device).controller.encode(store.seconds(), frozen, store.scenario(), out);
        for (int i = 0; i < SIM_FRAME_SIZE; ++i) {
            if (pinned[device][i])
                out[i] = static_cast<uint8_t>(pinned[device][i] - 1);
        }
    }

    // The position of device number `number`: the bridge library numbers the
    // plugged-in positions in order. -1 when there is no such device.
    int positionOf(int number)
    {
        SharedState::Lock shared(store);
        for (int position = 0; position < SIM_MAX_DEVICES && number >= 0; ++position) {
            if (store.device(position).plugged && number-- == 0)
                return position;
        }
        return -1;
    }

    // Lets go of the device a port of this process holds (close, stale port).
    void release(int position, uintptr_t id)
    {
        SharedState::Lock shared(store);
        DeviceRecord &r = store.device(position);
        if (ProcessIdentity::self().owns(r) && r.ownerHandle == static_cast<uint32_t>(id))
            r.ownerProcess = 0;
    }

    // A port whose device was unplugged or reset since it was opened, here or
    // in another process, is stale: it loses what was pending and the device.
    bool stale(uintptr_t id, Port &p)
    {
        if (p.unplugged)
            return true;
        uint32_t cycle;
        {
            SharedState::Lock shared(store);
            cycle = store.device(p.device).plugCycle;
        }
        if (cycle == p.plugCycle)
            return false;
        p.unplugged = true;
        p.rx.clear();
        release(p.device, id);
        return true;
    }
};

// The one simulator of this process (simulatorState.cpp).
Sim &sim();

constexpr auto validOp = [](int op) { return op >= 0 && op < SIM_OP_COUNT; };
constexpr auto validDevice = [](int d) { return d >= 0 && d < SIM_MAX_DEVICES; };
int clampMs(int ms); // 0..60000

} // namespace vornsim
