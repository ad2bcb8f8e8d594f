// The seven bridge operations of the simulated FTD2XX.dll, at the bridge
// library's ordinals: handles, serial settings and the byte pipes to the
// simulated controllers, with the faults a test has switched on.
#include <initializer_list>

#include "simulator/simulatorState.h"

using namespace vornsim;

namespace {

// One of the three line settings on an open handle: the call is traced,
// logged with its arguments and counted, an injected fault or a bad handle
// ends it, and otherwise apply(port) decides the status.
template <class Apply>
FT_STATUS configurePort(int op, FT_HANDLE handle, std::initializer_list<unsigned long> args, Apply apply)
{
    enterCall(op);
    Sim &s = sim();
    std::lock_guard<std::mutex> lock(s.mu);
    Call c(s, op, handle);
    int i = 0;
    for (unsigned long a : args)
        c.e.args[i++] = a;
    FT_STATUS st = FT_OK;
    if (c.injected(st))
        return c.finish(st);
    Port *p = c.port(st);
    if (!p)
        return c.finish(st);
    return c.finish(apply(*p));
}

} // namespace

// ---------------------------------------------------------------------------
// The seven bridge operations.

extern "C" {

FT_STATUS WINAPI FT_Open(int deviceNumber, FT_HANDLE *handle)
{
    enterCall(SIM_OP_OPEN);
    Sim &s = sim();
    std::lock_guard<std::mutex> lock(s.mu);
    Call c(s, SIM_OP_OPEN, nullptr);
    c.e.device = deviceNumber;
    c.e.args[0] = static_cast<unsigned long>(deviceNumber);
    FT_STATUS st = FT_OK;
    if (c.injected(st))
        return c.finish(st);
    if (!handle)
        return c.finish(6);
    int position;
    {
        SharedState::Lock shared(s.store);
        position = s.positionOf(deviceNumber);
    }
    if (position < 0)
        return c.finish(2);
    Device &d = s.devices[position];
    if (d.openPort) {
        // Already open here, as real hardware refuses, unless that handle went stale.
        auto held = s.ports.find(d.openPort);
        if (held != s.ports.end() && !s.stale(held->first, held->second))
            return c.finish(3);
        d.openPort = 0;
    }
    const uintptr_t id = kHandleBase + 4 * ++s.handlesIssued;
    {
        // Open in another process (shared mode): refused while that process runs.
        SharedState::Lock shared(s.store);
        DeviceRecord &r = s.store.device(position);
        const ProcessIdentity self = ProcessIdentity::self();
        if (!self.owns(r) && ownerAlive(r))
            return c.finish(3);
        r.ownerProcess = self.id;
        r.ownerCreatedLow = self.createdLow;
        r.ownerCreatedHigh = self.createdHigh;
        r.ownerHandle = static_cast<uint32_t>(id);
    }
    Port &port = s.ports[id];
    port.device = position;
    {
        SharedState::Lock shared(s.store);
        port.plugCycle = s.store.device(position).plugCycle;
    }
    d.openPort = id;
    *handle = reinterpret_cast<FT_HANDLE>(id);
    c.e.handle = *handle;
    ++s.counts.opensOk;
    return c.finish(FT_OK);
}

FT_STATUS WINAPI FT_Close(FT_HANDLE handle)
{
    enterCall(SIM_OP_CLOSE);
    Sim &s = sim();
    std::lock_guard<std::mutex> lock(s.mu);
    Call c(s, SIM_OP_CLOSE, handle);
    FT_STATUS st = FT_OK;
    if (c.injected(st))
        return c.finish(st);
    const uintptr_t id = reinterpret_cast<uintptr_t>(handle);
    const bool known = s.ports.count(id) != 0;
    Port *p = c.port(st);
    if (!known)
        return c.finish(st);
    // Closing always releases the handle; for an unplugged device it still
    // reports the I/O error the driver would see.
    s.release(s.ports[id].device, id);
    s.ports.erase(id);
    s.cv.notify_all();
    if (!p)
        return c.finish(st);
    ++s.counts.closesOk;
    return c.finish(FT_OK);
}

FT_STATUS WINAPI FT_SetBaudRate(FT_HANDLE handle, ULONG baudRate)
{
    return configurePort(SIM_OP_SET_BAUD_RATE, handle, {baudRate}, [&](Port &p) -> FT_STATUS {
        if (baudRate == 0)
            return 6;
        p.baud = baudRate;
        p.baudSet = true;
        return FT_OK;
    });
}

FT_STATUS WINAPI FT_SetDataCharacteristics(FT_HANDLE handle, UCHAR wordLength, UCHAR stopBits, UCHAR parity)
{
    return configurePort(SIM_OP_SET_DATA_CHARACTERISTICS, handle, {wordLength, stopBits, parity},
                         [&](Port &p) -> FT_STATUS {
                             // What the bridge can do at all: 7 or 8 bits, stop code 0 (1) or
                             // 2 (2), parity none/odd/even/mark/space (0..4).
                             if ((wordLength != 7 && wordLength != 8) || (stopBits != 0 && stopBits != 2) || parity > 4)
                                 return 6;
                             p.wordLength = wordLength;
                             p.stopBits = stopBits;
                             p.parity = parity;
                             p.dataSet = true;
                             return FT_OK;
                         });
}

FT_STATUS WINAPI FT_SetTimeouts(FT_HANDLE handle, ULONG readTimeout, ULONG writeTimeout)
{
    return configurePort(SIM_OP_SET_TIMEOUTS, handle, {readTimeout, writeTimeout}, [&](Port &p) -> FT_STATUS {
        p.readTimeout = readTimeout;
        p.writeTimeout = writeTimeout;
        p.timeoutsSet = true;
        return FT_OK;
    });
}

FT_STATUS WINAPI FT_Write(FT_HANDLE handle, LPVOID buffer, DWORD bytesToWrite, LPDWORD bytesWritten)
{
    enterCall(SIM_OP_WRITE);
    Sim &s = sim();
    std::unique_lock<std::mutex> lock(s.mu);
    Call c(s, SIM_OP_WRITE, handle);
    c.e.args[0] = bytesToWrite;
    if (bytesWritten)
        *bytesWritten = 0;
    FT_STATUS st = FT_OK;
    if (c.injected(st))
        return c.finish(st);
    if (!bytesWritten || (!buffer && bytesToWrite))
        return c.finish(6);
    Port *p = c.port(st);
    if (!p)
        return c.finish(st);

    size_t n = bytesToWrite;
    int shortCount;
    if (s.shortWrite.take(shortCount)) {
        n = std::min<size_t>(n, static_cast<size_t>(std::max(shortCount, 0)));
        c.e.flags |= SIM_LOG_SHORT;
    }
    const auto *bytes = static_cast<const uint8_t *>(buffer);
    if (!portSettingsApplied(*p)) {
        // Wrong or missing line settings: the controller only sees noise.
        c.e.flags |= SIM_LOG_UNCONFIGURED;
    } else if (s.foreign(p->device)) {
        // Another product: it takes the bytes and never answers.
    } else {
        SharedState::Lock shared(s.store);
        const ControllerModel::Input in = s.devices[p->device].model.accept(bytes, n);
        c.e.flags |= in.flags;
        s.counts.unknownCommandBytes += in.unknownBytes;
        for (int r = 0; r < in.statusRequests; ++r)
            s.answer(*p);
        if (in.statusRequests)
            s.cv.notify_all();
    }
    c.keepData(bytes, n);
    *bytesWritten = static_cast<DWORD>(n);
    const ULONG paceBaud = s.pacing ? p->baud : 0;
    st = c.finish(FT_OK);
    lock.unlock();
    paceWire(n, paceBaud);
    return st;
}

FT_STATUS WINAPI FT_Read(FT_HANDLE handle, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesReturned)
{
    enterCall(SIM_OP_READ);
    Sim &s = sim();
    InProgress inProgress(s.readsInProgress);
    std::unique_lock<std::mutex> lock(s.mu);
    int helperMs = 0;
    if (s.readHelper.take(helperMs)) {
        lock.unlock();
        runHelperThread(helperMs);
        lock.lock();
    }
    Call c(s, SIM_OP_READ, handle);
    if (helperMs > 0)
        c.e.flags |= SIM_LOG_HELPER_THREAD;
    c.e.args[0] = bytesToRead;
    if (bytesReturned)
        *bytesReturned = 0;
    FT_STATUS st = FT_OK;
    if (c.injected(st))
        return c.finish(st);
    if (!buffer || !bytesReturned)
        return c.finish(6);
    Port *p = c.port(st);
    if (!p)
        return c.finish(st);
    if (!portSettingsApplied(*p) || !p->timeoutsSet) {
        c.e.flags |= SIM_LOG_UNCONFIGURED;
        ++s.counts.unconfiguredReads;
        return c.finish(4);
    }
    const uintptr_t id = reinterpret_cast<uintptr_t>(handle);
    const ULONG readTimeout = p->readTimeout;
    p = nullptr; // the port may go away while this call waits below

    // A port that went away (closed by another thread, unplugged, or a reset)
    // while this read waited.
    auto gone = [&]() -> bool {
        auto it = s.ports.find(id);
        if (it == s.ports.end() || c.epoch != s.epoch) {
            c.e.flags |= SIM_LOG_CLOSED_DURING_READ;
            return true;
        }
        if (s.stale(id, it->second)) {
            c.e.flags |= SIM_LOG_UNPLUGGED;
            ++s.counts.unpluggedCalls;
            return true;
        }
        return false;
    };

    int delayMs;
    if (s.readDelay.take(delayMs) && delayMs > 0) {
        c.e.flags |= SIM_LOG_DELAYED;
        lock.unlock();
        std::this_thread::sleep_for(std::chrono::milliseconds(clampMs(delayMs)));
        lock.lock();
        if (gone())
            return c.finish(4);
    }

    if (s.gateClosed) {
        c.e.flags |= SIM_LOG_GATED;
        const unsigned generation = s.gateGeneration;
        ++s.gateWaiting;
        const bool released =
            waitUnlocked(lock, s.gateLimitMs, [&] { return !s.gateClosed || s.gateGeneration != generation; });
        --s.gateWaiting;
        if (!released)
            c.e.flags |= SIM_LOG_GATE_LIMIT;
        if (gone())
            return c.finish(4);
    }

    // Wait, within the read time-out, until enough bytes are pending.
    const int capMs = s.readWaitCapMs;
    const int waitMs =
        (readTimeout == 0 || readTimeout > static_cast<ULONG>(capMs)) ? capMs : static_cast<int>(readTimeout);
    waitUnlocked(lock, waitMs, [&] {
        auto it = s.ports.find(id);
        return it == s.ports.end() || it->second.unplugged || c.epoch != s.epoch || it->second.rx.size() >= bytesToRead;
    });
    if (gone())
        return c.finish(4);
    Port &port = s.ports[id];

    size_t n = std::min<size_t>(bytesToRead, port.rx.size());
    int shortCount;
    if (s.shortRead.take(shortCount)) {
        n = std::min<size_t>(n, static_cast<size_t>(std::max(shortCount, 0)));
        c.e.flags |= SIM_LOG_SHORT;
    } else if (n < bytesToRead) {
        c.e.flags |= SIM_LOG_READ_TIMEOUT;
    }
    std::vector<uint8_t> got(port.rx.begin(), port.rx.begin() + n);
    port.rx.erase(port.rx.begin(), port.rx.begin() + n);
    const unsigned long long before = port.delivered;
    port.delivered += n;
    s.counts.framesSent += static_cast<int>(port.delivered / SIM_FRAME_SIZE - before / SIM_FRAME_SIZE);
    c.keepData(got.data(), n);
    const ULONG paceBaud = s.pacing ? port.baud : 0;
    st = c.finish(FT_OK);
    lock.unlock();

    paceWire(n, paceBaud);
    if (n)
        std::memcpy(buffer, got.data(), n);
    *bytesReturned = static_cast<DWORD>(n);
    return st;
}

} // extern "C"
