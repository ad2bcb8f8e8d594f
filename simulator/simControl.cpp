// The simulator's control functions (simControlTable.h).
#include "simulator/simulatorState.h"

using namespace vornsim;

namespace {

// f(simulator) under the simulator's lock.
template <class F>
auto locked(F f) -> decltype(f(sim()))
{
    Sim &s = sim();
    std::lock_guard<std::mutex> lock(s.mu);
    return f(s);
}

// f(record) for a valid position, under both locks: 0, or -1 when f refuses.
template <class F>
int withRecord(int device, F f)
{
    if (!validDevice(device))
        return -1;
    return locked([&](Sim &s) {
        SharedState::Lock shared(s.store);
        return f(s.store.device(device)) ? 0 : -1;
    });
}

} // namespace

// A control that sets or reads this process's switches with the statements
// given, under the simulator's lock `s`.
#define SIM_LOCKED(result, name, parameters, ...)                                                                      \
    result SIM_API name parameters                                                                                     \
    {                                                                                                                  \
        return locked([&](Sim &s) { __VA_ARGS__; });                                                                   \
    }

// The same after a check of its arguments: 0, or -1 when the check fails.
#define SIM_CHECKED(name, parameters, check, ...)                                                                      \
    int SIM_API name parameters                                                                                        \
    {                                                                                                                  \
        if (!(check))                                                                                                  \
            return -1;                                                                                                 \
        locked([&](Sim &s) { __VA_ARGS__; });                                                                          \
        return 0;                                                                                                      \
    }

// A control of the record of position `device` (`r`), under both locks: 0 when
// the expression holds, -1 when it does not or the position is bad.
#define SIM_RECORD(name, parameters, expression)                                                                       \
    int SIM_API name parameters                                                                                        \
    {                                                                                                                  \
        return withRecord(device, [&](DeviceRecord &r) { return expression; });                                        \
    }

extern "C" {

SIM_LOCKED(void, simReset, (void), s.resetLocked())
SIM_LOCKED(void, simShortWrite, (int count, int times), s.shortWrite = Ticket{count, times})
SIM_LOCKED(void, simShortRead, (int count, int times), s.shortRead = Ticket{count, times})
SIM_LOCKED(void, simReadDelay, (int ms, int times), s.readDelay = Ticket{clampMs(ms), ms <= 0 ? 0 : times})
SIM_LOCKED(void, simGateClose, (void), s.gateClosed = true)
SIM_LOCKED(void, simGateOpen, (void), s.gateClosed = false; ++s.gateGeneration)
SIM_LOCKED(int, simGateWaiting, (void), return s.gateWaiting)
SIM_LOCKED(void, simSetGateLimit, (int ms), s.gateLimitMs = clampMs(ms))
SIM_LOCKED(void, simSetReadWaitCap, (int ms), s.readWaitCapMs = clampMs(ms))
SIM_LOCKED(void, simSetPacing, (int on), s.pacing = on != 0)
SIM_LOCKED(int, simGetPacing, (void), return s.pacing ? 1 : 0)
SIM_LOCKED(void, simFreezeDrift, (int frozen), s.frozen = frozen != 0)
SIM_LOCKED(void, simSetFrameGenerator, (int on), s.generator = on != 0)
SIM_LOCKED(int, simLogCount, (void), return s.logCount)
SIM_LOCKED(void, simLogClear, (void), s.logCount = 0)
SIM_LOCKED(int, simFrameCount, (void), return s.counts.framesSent)
SIM_LOCKED(int, simOpenHandles, (void), return static_cast<int>(s.ports.size()))
SIM_LOCKED(int, simIsShared, (void), return s.store.shared() ? 1 : 0)
SIM_LOCKED(int, simIsPlugged, (int device), SharedState::Lock shared(s.store);
           return validDevice(device) && s.store.device(device).plugged ? 1 : 0)

SIM_CHECKED(simFailNext, (int op, unsigned long status), validOp(op), s.faults[op] = Fault{1, status})
SIM_CHECKED(simFailNth, (int op, int n, unsigned long status), validOp(op) && n >= 1, s.faults[op] = Fault{n, status})
SIM_CHECKED(simFailAlways, (int op, unsigned long status), validOp(op), s.faults[op] = Fault{-1, status})
// One operation's faults, or, for SIM_OP_ALL (-1), every operation's.
SIM_CHECKED(simClearFaults, (int op), op == SIM_OP_ALL || validOp(op),
            std::fill_n(s.faults + std::max(op, 0), op == SIM_OP_ALL ? SIM_OP_COUNT : 1, Fault{}))
SIM_CHECKED(simHoldCall, (int op, int ms, int times), validOp(op),
            s.holds[op] = Ticket{clampMs(ms), ms <= 0 ? 0 : times})
SIM_CHECKED(simHelperThread, (int op, int ms, int times), validOp(op),
            s.helpers[op] = Ticket{clampMs(ms), ms <= 0 ? 0 : times})
// Pinned bytes are test machinery of this process, never shared.
SIM_CHECKED(simSetFrameByte, (int device, int offset, int value),
            validDevice(device) && offset >= 0 && offset < SIM_FRAME_SIZE && value >= -1 && value <= 255,
            s.pinned[device][offset] = static_cast<uint16_t>(value + 1))
SIM_CHECKED(simClearFrameBytes, (int device), validDevice(device),
            std::fill(s.pinned[device], s.pinned[device] + SIM_FRAME_SIZE, 0))
SIM_CHECKED(simGetFrame, (int device, unsigned char *out), validDevice(device) && out,
            SharedState::Lock shared(s.store);
            s.encode(device, s.counts.repliesGenerated + 1, out))

SIM_RECORD(simPlug, (int device), r.plugged = 1)
SIM_RECORD(simSetFanDuty, (int device, int fan, int percent), r.controller.setDutyPercent(fan, percent))
SIM_RECORD(simSetFanMaxSpeed, (int device, int fan, int word),
           setInRange(r.controller.maxSpeed, fan, SIM_FANS, word, -32768, 32767))
SIM_RECORD(simSetFanManual, (int device, int fan, int flag),
           setInRange(r.controller.manual, fan, SIM_FANS, flag, -128, 127))
SIM_RECORD(simSetTemperature, (int device, int sensor, int halfDegrees),
           setInRange(r.controller.tempLevel, sensor, SIM_TEMPS, halfDegrees, -128, 127))
SIM_RECORD(simSetDeviceInfo, (int device, const char *serial, const char *description, unsigned long location),
           setInfo(r, serial, description, location))
SIM_RECORD(simSetDeviceKind, (int device, int kind), setIdentity(r, device, kind))

int SIM_API simUnplug(int device)
{
    return withRecord(device, [&](DeviceRecord &r) {
        // A handle of this process on it stays known but stale, and a read
        // waiting on it ends now; another process's handle goes stale too.
        auto it = sim().ports.find(r.ownerHandle);
        if (ProcessIdentity::self().owns(r) && it != sim().ports.end()) {
            it->second.unplugged = true;
            it->second.rx.clear();
        }
        r.plugged = 0;
        ++r.plugCycle;
        r.ownerProcess = 0;
        return true;
    });
}

int SIM_API simHelperThreadsRunning(void)
{
    return sim().helperThreadsRunning.load();
}

int SIM_API simLogGet(int index, SimLogEntry *out)
{
    return locked([&](Sim &s) {
        if (!out || index < 0 || index >= s.logCount || index < s.logCount - SIM_LOG_CAPACITY)
            return 0;
        *out = s.log[index % SIM_LOG_CAPACITY];
        return 1;
    });
}

void SIM_API simGetCounts(SimCounts *out)
{
    locked([&](Sim &s) {
        if (!out)
            return;
        *out = s.counts;
        out->openHandles = static_cast<int>(s.ports.size());
        out->readsInProgress = s.readsInProgress.load();
        out->gateWaiting = s.gateWaiting;
    });
}

} // extern "C"
