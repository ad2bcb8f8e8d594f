// The USB-serial bridge as the plug-in sees it: handles, serial settings and
// the byte pipes to the simulated controllers, plus everything a test needs
// to steer it (faults, short I/O, held reads, unplugging, the call log).
//
// Locking: one mutex guards all of the state below. It is never held while a
// call sleeps (read delay, wire pacing); waits for data and for the read gate
// go through a condition variable, which releases it. Every wait is bounded.
// The device records (plugged or not, controller state) sit in a SharedState,
// which may be shared with other processes; its named lock is only taken with
// the mutex already held, around single accesses, never across a wait.
//
// A reset bumps `epoch`: calls that were already inside the DLL finish
// without touching the fresh log and counts.
#pragma once

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "bridge/d2xx.h"
#include "bridge/d2xxList.h"
#include "simulator/controllerModel.h"
#include "simulator/sharedState.h"
#include "simulator/simControl.h"

namespace vornsim {

using Clock = std::chrono::steady_clock;
using vornsim::ControllerModel;
using vornsim::SharedState;

// The controller only talks 19200 baud, 8 data bits, 1 stop bit, no parity.
constexpr ULONG kDeviceBaud = 19200;
constexpr UCHAR kWordLength8 = 8, kStopBits1 = 0, kParityNone = 0;

constexpr int kDefaultReadWaitCapMs = 1000;
constexpr int kDefaultGateLimitMs = 10000;
constexpr int kMaxWaitMs = 60000;

// Handle values count up from here and are never handed out twice in a
// process. They point into the top of the 32-bit address space, which an
// ordinary 32-bit process has no memory at, so dereferencing one faults.
constexpr uintptr_t kHandleBase = 0xC0000000u;

// One open handle.
struct Port {
    int device = -1;
    bool baudSet = false, dataSet = false, timeoutsSet = false;
    ULONG baud = 0, readTimeout = 0, writeTimeout = 0;
    UCHAR wordLength = 0, stopBits = 0, parity = 0;
    bool unplugged = false;           // its device went away; the handle is stale
    uint32_t plugCycle = 0;           // the device's plug cycle when opened
    std::deque<uint8_t> rx;           // reply bytes not read yet
    unsigned long long delivered = 0; // reply bytes read so far
};

// This process's view of one device number; whether it is plugged in and
// the controller's state are in the SharedState record.
struct Device {
    uintptr_t openPort = 0; // handle currently holding the device, 0 if none
    ControllerModel model;  // works on the record's controller state
};

struct Fault {
    bool always = false;
    int countdown = 0; // fails when it counts down to 0 (1 = next call)
    FT_STATUS status = 0;
};

// "For the next `times` calls use `value`" (times -1: until cleared).
struct Ticket {
    int value = 0;
    int times = 0;
    void set(int v, int t)
    {
        value = v;
        times = t < 0 ? -1 : t;
    }
    bool take(int &v)
    {
        if (times == 0)
            return false;
        if (times > 0)
            --times;
        v = value;
        return true;
    }
};

struct Sim {
    std::mutex mu;
    std::condition_variable cv; // data arrived, gate opened, handle closed/unplugged, reset

    SharedState store;
    Device devices[SIM_MAX_DEVICES];
    std::map<uintptr_t, Port> ports;
    uintptr_t handlesIssued = 0; // survives resets: handle values stay unique

    Fault faults[SIM_OP_COUNT];
    Ticket shortWrite, shortRead, readDelay, readHelper;
    Ticket holds[SIM_OP_COUNT]; // simHoldCall: ms to wait before serving a call
    bool gateClosed = false;
    unsigned gateGeneration = 0;
    int gateLimitMs = kDefaultGateLimitMs;
    int readWaitCapMs = kDefaultReadWaitCapMs;
    bool pacing = false;
    bool frozen = false;
    bool generator = false;

    // The device list as FT_CreateDeviceInfoList took it last.
    std::vector<FT_DEVICE_LIST_INFO_NODE> listSnapshot;

    SimCounts counts{};
    std::atomic<int> readsInProgress{0};
    int gateWaiting = 0;

    std::vector<SimLogEntry> log = std::vector<SimLogEntry>(SIM_LOG_CAPACITY);
    int logCount = 0;

    unsigned epoch = 0;
    Clock::time_point resetAt = Clock::now();

    // Loading never resets shared records: a process attaching to controllers
    // that others already use finds them as they are.
    Sim()
    {
        char layout[256] = {};
        const DWORD n = GetEnvironmentVariableA("VORNSIM_DEVICES", layout, sizeof layout);
        store.open(envIsOne("VORNSIM_SHARED"), n > 0 && n < sizeof layout ? layout : nullptr);
        for (int i = 0; i < SIM_MAX_DEVICES; ++i)
            devices[i].model.useState(&store.device(i).controller);
        resetProcessLocked();
        pacing = envIsOne("VORNSIM_WIRE_PACING");
    }

    static bool envIsOne(const char *name)
    {
        char value[8] = {};
        const DWORD n = GetEnvironmentVariableA(name, value, sizeof value);
        return n > 0 && n < sizeof value && std::strcmp(value, "1") == 0;
    }

    // simReset: the device records (shared ones too) and this process's state.
    void resetLocked()
    {
        {
            SharedState::Lock shared(store);
            store.resetDevices();
        }
        resetProcessLocked();
    }

    void resetProcessLocked()
    {
        ++epoch;
        for (Device &d : devices) {
            d.openPort = 0;
            d.model.clearOverrides();
        }
        ports.clear();
        listSnapshot.clear();
        for (auto &f : faults)
            f = Fault{};
        shortWrite = shortRead = readDelay = readHelper = Ticket{};
        for (Ticket &h : holds)
            h = Ticket{};
        gateClosed = false;
        ++gateGeneration;
        gateLimitMs = kDefaultGateLimitMs;
        readWaitCapMs = kDefaultReadWaitCapMs;
        pacing = frozen = generator = false;
        counts = SimCounts{};
        logCount = 0;
        resetAt = Clock::now();
        cv.notify_all();
    }

    // The frame device `device` sends as reply number k. Shared lock held.
    void encode(int device, int k, uint8_t out[SIM_FRAME_SIZE]) const
    {
        const ControllerModel &m = devices[device].model;
        if (generator)
            m.encodeGenerated(k, out);
        else
            m.encode(store.driftSeconds(), frozen, out);
    }

    // Answer one status request on a port with the next reply. Shared lock held.
    void answer(Port &p)
    {
        uint8_t frame[SIM_FRAME_SIZE];
        encode(p.device, ++counts.repliesGenerated, frame);
        p.rx.insert(p.rx.end(), frame, frame + SIM_FRAME_SIZE);
    }

    bool foreign(int position)
    {
        SharedState::Lock shared(store);
        return store.device(position).kind == SIM_KIND_FOREIGN;
    }

    bool plugged(int device)
    {
        SharedState::Lock shared(store);
        return store.device(device).plugged != 0;
    }

    // The position of device number `number`: the bridge library numbers the
    // plugged-in positions in order. -1 when there is no such device. Shared
    // lock held.
    int positionOf(int number)
    {
        for (int position = 0; position < SIM_MAX_DEVICES && number >= 0; ++position) {
            if (store.device(position).plugged && number-- == 0)
                return position;
        }
        return -1;
    }

    // Lets go of the device a port of this process holds (close, stale port).
    void release(int position, uintptr_t id)
    {
        if (devices[position].openPort == id)
            devices[position].openPort = 0;
        SharedState::Lock shared(store);
        DeviceRecord &r = store.device(position);
        if (ProcessIdentity::self().owns(r) && r.ownerHandle == static_cast<uint32_t>(id))
            r.ownerProcess = 0;
    }

    // A port whose device was unplugged or reset since it was opened, in this
    // process or another one, is stale: it loses what was pending and no longer
    // holds the device, as simUnplug does to ports of this process.
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

int clampMs(int ms);

// Time the bytes would spend on the wire, 10 bits each.
void paceWire(size_t bytes, ULONG baud);

inline bool validOp(int op)
{
    return op >= 0 && op < SIM_OP_COUNT;
}
inline bool validDevice(int d)
{
    return d >= 0 && d < SIM_MAX_DEVICES;
}

// One bridge call being served; recorded by finish().
struct Call {
    Sim &s;
    SimLogEntry e{};
    unsigned epoch;

    Call(Sim &sim_, int op, FT_HANDLE handle) : s(sim_), epoch(sim_.epoch)
    {
        e.op = op;
        e.handle = handle;
        e.device = -1;
        e.threadId = GetCurrentThreadId();
    }

    // Lock held. Counts the call and appends it to the log, unless a reset
    // happened while it was inside the DLL.
    FT_STATUS finish(FT_STATUS status)
    {
        e.status = status;
        if (epoch != s.epoch)
            return status;
        ++s.counts.calls[e.op];
        if (status != FT_OK)
            ++s.counts.failedCalls;
        if (e.flags & SIM_LOG_INJECTED)
            ++s.counts.injectedFailures;
        e.timeMs = static_cast<unsigned long>(
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - s.resetAt).count());
        e.seq = s.logCount;
        s.log[s.logCount % SIM_LOG_CAPACITY] = e;
        ++s.logCount;
        return status;
    }

    void keepData(const uint8_t *bytes, size_t n)
    {
        e.count = static_cast<unsigned long>(n);
        e.dataLen = static_cast<int>(std::min<size_t>(n, SIM_LOG_DATA_MAX));
        if (e.dataLen)
            std::memcpy(e.data, bytes, e.dataLen);
    }

    // A failure injected for this operation, if one is due.
    bool injected(FT_STATUS &status)
    {
        Fault &f = s.faults[e.op];
        bool fire = f.always;
        if (!fire && f.countdown > 0)
            fire = (--f.countdown == 0);
        if (!fire)
            return false;
        status = f.status ? f.status : (e.op == SIM_OP_OPEN ? 2 : 4);
        e.flags |= SIM_LOG_INJECTED;
        return true;
    }

    // The port behind the handle, or null with the status to return: 1 for an
    // unknown or closed handle, 4 for a handle whose device was unplugged.
    Port *port(FT_STATUS &status)
    {
        auto it = s.ports.find(reinterpret_cast<uintptr_t>(e.handle));
        if (it == s.ports.end()) {
            e.flags |= SIM_LOG_BAD_HANDLE;
            if (epoch == s.epoch) {
                ++s.counts.badHandleCalls;
                if (e.op == SIM_OP_CLOSE)
                    ++s.counts.badCloses;
            }
            status = 1;
            return nullptr;
        }
        e.device = it->second.device;
        if (s.stale(it->first, it->second)) {
            e.flags |= SIM_LOG_UNPLUGGED;
            if (epoch == s.epoch)
                ++s.counts.unpluggedCalls;
            status = 4;
            return nullptr;
        }
        return &it->second;
    }
};

inline bool portSettingsApplied(const Port &p)
{
    return p.baudSet && p.baud == kDeviceBaud && p.dataSet && p.wordLength == kWordLength8 &&
           p.stopBits == kStopBits1 && p.parity == kParityNone;
}

// Run f on a device's controller model under the locks (control setters).
template <typename F>
int withModel(int device, F f)
{
    Sim &s = sim();
    if (!validDevice(device))
        return -1;
    std::lock_guard<std::mutex> lock(s.mu);
    SharedState::Lock shared(s.store);
    return f(s.devices[device].model) ? 0 : -1;
}

struct InProgress {
    std::atomic<int> &n;
    explicit InProgress(std::atomic<int> &c) : n(c) { ++n; }
    ~InProgress() { --n; }
};

// Waits until ready() holds or ms have passed, polling with the lock let go.
// Unlike a condition variable, a reader that is forcibly ended while it waits
// here (as a host's unload may do to a poller stuck in a read) is registered
// nowhere and holds nothing, so the simulator goes on working afterwards.
template <class Ready>
bool waitUnlocked(std::unique_lock<std::mutex> &lock, int ms, Ready ready)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
    while (!ready()) {
        if (Clock::now() >= deadline)
            return false;
        lock.unlock();
        Sleep(1);
        lock.lock();
    }
    return true;
}

// Every bridge operation begins here: the call trace (VORNSIM_CALL_TRACE)
// appends the operation's name and a line feed to the trace file, if there is
// one, then a hold set by simHoldCall keeps the caller waiting inside the DLL,
// holding none of the simulator's locks.
void enterCall(int op);

// A thread of the DLL's own that stays inside the DLL for ms milliseconds,
// started and joined by FT_Read (simReadHelperThread). Returns when the
// thread has ended (or after ms + 10 s).
void runHelperThread(int ms);
extern std::atomic<int> helperThreadsRunning;

} // namespace vornsim
