// The simulator's control interface (simControl.h): faults, short I/O, held
// reads, unplugging, the controllers' state, the call log and the counts.
#include "simulator/simulatorState.h"

using namespace vornsim;

extern "C" {

void SIM_API simReset(void)
{
    Sim &s = sim();
    std::lock_guard<std::mutex> lock(s.mu);
    s.resetLocked();
}

int SIM_API simPlug(int device)
{
    Sim &s = sim();
    if (!validDevice(device))
        return -1;
    std::lock_guard<std::mutex> lock(s.mu);
    SharedState::Lock shared(s.store);
    s.store.device(device).plugged = 1;
    return 0;
}

int SIM_API simUnplug(int device)
{
    Sim &s = sim();
    if (!validDevice(device))
        return -1;
    std::lock_guard<std::mutex> lock(s.mu);
    {
        SharedState::Lock shared(s.store);
        vornsim::DeviceRecord &r = s.store.device(device);
        r.plugged = 0;
        ++r.plugCycle;
        r.ownerProcess = 0; // whoever had it open holds a stale handle now
    }
    Device &d = s.devices[device];
    if (d.openPort) {
        // The handle stays known but stale; the number is free for a new open
        // once the device is back.
        auto it = s.ports.find(d.openPort);
        if (it != s.ports.end()) {
            it->second.unplugged = true;
            it->second.rx.clear();
        }
        d.openPort = 0;
    }
    s.cv.notify_all();
    return 0;
}

int SIM_API simIsPlugged(int device)
{
    Sim &s = sim();
    if (!validDevice(device))
        return 0;
    std::lock_guard<std::mutex> lock(s.mu);
    return s.plugged(device) ? 1 : 0;
}

int SIM_API simFailNth(int op, int n, unsigned long status)
{
    Sim &s = sim();
    if (!validOp(op) || n < 1)
        return -1;
    std::lock_guard<std::mutex> lock(s.mu);
    s.faults[op] = Fault{false, n, status};
    return 0;
}

int SIM_API simFailNext(int op, unsigned long status)
{
    return simFailNth(op, 1, status);
}

int SIM_API simFailAlways(int op, unsigned long status)
{
    Sim &s = sim();
    if (!validOp(op))
        return -1;
    std::lock_guard<std::mutex> lock(s.mu);
    s.faults[op] = Fault{true, 0, status};
    return 0;
}

int SIM_API simClearFaults(int op)
{
    Sim &s = sim();
    if (op != SIM_OP_ALL && !validOp(op))
        return -1;
    std::lock_guard<std::mutex> lock(s.mu);
    for (int i = 0; i < SIM_OP_COUNT; ++i)
        if (op == SIM_OP_ALL || op == i)
            s.faults[i] = Fault{};
    return 0;
}

void SIM_API simShortWrite(int count, int times)
{
    Sim &s = sim();
    std::lock_guard<std::mutex> lock(s.mu);
    s.shortWrite.set(count, times);
}

void SIM_API simShortRead(int count, int times)
{
    Sim &s = sim();
    std::lock_guard<std::mutex> lock(s.mu);
    s.shortRead.set(count, times);
}

void SIM_API simReadDelay(int ms, int times)
{
    Sim &s = sim();
    std::lock_guard<std::mutex> lock(s.mu);
    s.readDelay.set(clampMs(ms), ms <= 0 ? 0 : times);
}

int SIM_API simHoldCall(int op, int ms, int times)
{
    if (op < 0 || op >= SIM_OP_COUNT)
        return -1;
    Sim &s = sim();
    std::lock_guard<std::mutex> lock(s.mu);
    s.holds[op].set(clampMs(ms), ms <= 0 ? 0 : times);
    return 0;
}

void SIM_API simReadHelperThread(int ms, int times)
{
    Sim &s = sim();
    std::lock_guard<std::mutex> lock(s.mu);
    s.readHelper.set(clampMs(ms), ms <= 0 ? 0 : times);
}

int SIM_API simHelperThreadsRunning(void)
{
    return helperThreadsRunning.load();
}

void SIM_API simGateClose(void)
{
    Sim &s = sim();
    std::lock_guard<std::mutex> lock(s.mu);
    s.gateClosed = true;
}

void SIM_API simGateOpen(void)
{
    Sim &s = sim();
    std::lock_guard<std::mutex> lock(s.mu);
    s.gateClosed = false;
    ++s.gateGeneration;
    s.cv.notify_all();
}

int SIM_API simGateWaiting(void)
{
    Sim &s = sim();
    std::lock_guard<std::mutex> lock(s.mu);
    return s.gateWaiting;
}

void SIM_API simSetGateLimit(int ms)
{
    Sim &s = sim();
    std::lock_guard<std::mutex> lock(s.mu);
    s.gateLimitMs = clampMs(ms);
}

void SIM_API simSetReadWaitCap(int ms)
{
    Sim &s = sim();
    std::lock_guard<std::mutex> lock(s.mu);
    s.readWaitCapMs = clampMs(ms);
}

void SIM_API simSetPacing(int on)
{
    Sim &s = sim();
    std::lock_guard<std::mutex> lock(s.mu);
    s.pacing = on != 0;
}

int SIM_API simGetPacing(void)
{
    Sim &s = sim();
    std::lock_guard<std::mutex> lock(s.mu);
    return s.pacing ? 1 : 0;
}

int SIM_API simSetFanDuty(int device, int fan, int percent)
{
    return withModel(device, [&](ControllerModel &m) { return m.setDutyPercent(fan, percent); });
}

int SIM_API simSetFanMaxSpeed(int device, int fan, int word)
{
    return withModel(device, [&](ControllerModel &m) { return m.setMaxSpeed(fan, word); });
}

int SIM_API simSetFanManual(int device, int fan, int flag)
{
    return withModel(device, [&](ControllerModel &m) { return m.setManual(fan, flag); });
}

int SIM_API simSetTemperature(int device, int sensor, int halfDegrees)
{
    return withModel(device, [&](ControllerModel &m) { return m.setTemperature(sensor, halfDegrees); });
}

int SIM_API simSetFrameByte(int device, int offset, int value)
{
    return withModel(device, [&](ControllerModel &m) { return m.setOverride(offset, value); });
}

int SIM_API simClearFrameBytes(int device)
{
    return withModel(device, [](ControllerModel &m) {
        m.clearOverrides();
        return true;
    });
}

void SIM_API simFreezeDrift(int frozen)
{
    Sim &s = sim();
    std::lock_guard<std::mutex> lock(s.mu);
    s.frozen = frozen != 0;
}

void SIM_API simSetFrameGenerator(int on)
{
    Sim &s = sim();
    std::lock_guard<std::mutex> lock(s.mu);
    s.generator = on != 0;
}

int SIM_API simGetFrame(int device, unsigned char *out)
{
    Sim &s = sim();
    if (!validDevice(device) || !out)
        return -1;
    std::lock_guard<std::mutex> lock(s.mu);
    SharedState::Lock shared(s.store);
    s.encode(device, s.counts.repliesGenerated + 1, out);
    return 0;
}

int SIM_API simIsShared(void)
{
    Sim &s = sim();
    std::lock_guard<std::mutex> lock(s.mu);
    return s.store.shared() ? 1 : 0;
}

int SIM_API simLogCount(void)
{
    Sim &s = sim();
    std::lock_guard<std::mutex> lock(s.mu);
    return s.logCount;
}

int SIM_API simLogGet(int index, SimLogEntry *out)
{
    Sim &s = sim();
    if (!out || index < 0)
        return 0;
    std::lock_guard<std::mutex> lock(s.mu);
    if (index >= s.logCount || index < s.logCount - SIM_LOG_CAPACITY)
        return 0;
    *out = s.log[index % SIM_LOG_CAPACITY];
    return 1;
}

void SIM_API simLogClear(void)
{
    Sim &s = sim();
    std::lock_guard<std::mutex> lock(s.mu);
    s.logCount = 0;
}

void SIM_API simGetCounts(SimCounts *out)
{
    Sim &s = sim();
    if (!out)
        return;
    std::lock_guard<std::mutex> lock(s.mu);
    *out = s.counts;
    out->openHandles = static_cast<int>(s.ports.size());
    out->readsInProgress = s.readsInProgress.load();
    out->gateWaiting = s.gateWaiting;
}

int SIM_API simFrameCount(void)
{
    Sim &s = sim();
    std::lock_guard<std::mutex> lock(s.mu);
    return s.counts.framesSent;
}

int SIM_API simOpenHandles(void)
{
    Sim &s = sim();
    std::lock_guard<std::mutex> lock(s.mu);
    return static_cast<int>(s.ports.size());
}

} // extern "C"
