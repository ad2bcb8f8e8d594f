// The seven bridge operations of the simulated FTD2XX.dll, at the bridge
// library's ordinals: handles, line settings and the byte pipes to the
// simulated controllers, with the faults a test has switched on.
#include <initializer_list>
#include <thread>

#include "simulator/simulatorState.h"

using namespace vornsim;

namespace {

// Handle values count up from here and are never handed out twice in a
// process. They point into the top of the 32-bit address space, which an
// ordinary 32-bit process has no memory at, so dereferencing one faults.
constexpr uintptr_t kHandleBase = 0xC0000000u;

// The trace file named by VORNSIM_CALL_TRACE at load, or INVALID_HANDLE_VALUE.
// Each line is written with one call at the end of the file and goes to the
// system at once, so it outlives this process whatever way it ends.
HANDLE openCallTrace()
{
    const std::string path = environment("VORNSIM_CALL_TRACE");
    return path.empty() ? INVALID_HANDLE_VALUE
                        : CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}
const HANDLE g_callTrace = openCallTrace();

// The thread an operation starts and joins for simHelperThread (joined within
// ms + 10 s): back in this DLL's code every few milliseconds for `ms`, as a
// vendor's worker thread would be.
DWORD WINAPI helperThreadProc(LPVOID argument)
{
    const DWORD ms = static_cast<DWORD>(reinterpret_cast<uintptr_t>(argument));
    ++sim().helperThreadsRunning;
    for (const DWORD start = GetTickCount(); GetTickCount() - start < ms;)
        Sleep(10);
    --sim().helperThreadsRunning;
    return 0;
}

void runHelperThread(int ms)
{
    HANDLE thread =
        CreateThread(nullptr, 0, helperThreadProc, reinterpret_cast<LPVOID>(static_cast<uintptr_t>(ms)), 0, nullptr);
    if (thread == nullptr)
        return;
    WaitForSingleObject(thread, static_cast<DWORD>(ms) + 10000);
    CloseHandle(thread);
}

// Every bridge operation begins here: the call trace appends the operation's
// name and a line feed to the trace file, if there is one, then a hold set by
// simHoldCall keeps the caller waiting inside the DLL, and a helper thread
// set by simHelperThread runs and is joined, both holding no lock. `helped`
// says whether a helper ran.
Sim &enterCall(int op, bool &helped)
{
    static const char *const names[SIM_OP_COUNT] = {"open", "close", "read", "write", "baud", "data", "timeouts"};
    if (g_callTrace != INVALID_HANDLE_VALUE) {
        char line[16];
        const int length = wsprintfA(line, "%s\n", names[op]);
        DWORD written = 0;
        WriteFile(g_callTrace, line, static_cast<DWORD>(length), &written, nullptr);
    }
    Sim &s = sim();
    int holdMs = 0, helperMs = 0;
    {
        std::lock_guard<std::mutex> lock(s.mu);
        s.holds[op].take(holdMs);
        helped = s.helpers[op].take(helperMs);
    }
    if (holdMs > 0)
        Sleep(static_cast<DWORD>(holdMs));
    if (helped)
        runHelperThread(helperMs);
    return s;
}

// One bridge call being served, from its entry to its log entry: it holds the
// simulator's lock except where it lets go of it to wait.
struct Call {
    bool helped = false; // first: enterCall sets it
    Sim &s;
    std::unique_lock<std::mutex> lock;
    SimLogEntry e{};
    unsigned epoch;

    Call(int op, FT_HANDLE handle, std::initializer_list<unsigned long> args)
        : s(enterCall(op, helped)), lock(s.mu), epoch(s.epoch)
    {
        e.op = op;
        if (helped)
            e.flags |= SIM_LOG_HELPER_THREAD;
        e.handle = handle;
        e.device = -1;
        e.threadId = GetCurrentThreadId();
        std::copy(args.begin(), args.end(), e.args);
        s.readsInProgress += op == SIM_OP_READ;
    }
    ~Call() { s.readsInProgress -= e.op == SIM_OP_READ; }

    // Counts the call and appends it to the log, unless a reset happened while
    // it was inside the DLL. With pacing on, a call that moved `bytes` then
    // takes their time on the wire at `baud`, 10 bits each, without the lock.
    FT_STATUS finish(FT_STATUS status, size_t bytes = 0, ULONG baud = 0)
    {
        e.status = status;
        if (epoch == s.epoch) {
            ++s.counts.calls[e.op];
            s.counts.failedCalls += status != FT_OK;
            s.counts.injectedFailures += (e.flags & SIM_LOG_INJECTED) != 0;
            e.timeMs = static_cast<unsigned long>(
                std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - s.resetAt).count());
            e.seq = s.logCount;
            s.log[s.logCount++ % SIM_LOG_CAPACITY] = e;
        }
        if (bytes && baud && s.pacing) {
            lock.unlock();
            std::this_thread::sleep_for(std::chrono::microseconds(static_cast<long long>(bytes) * 10000000 / baud));
        }
        return status;
    }

    // The status of a failure injected for this operation, if one is due; else 0.
    FT_STATUS injected()
    {
        Fault &f = s.faults[e.op];
        if (f.countdown == 0 || (f.countdown > 0 && --f.countdown > 0))
            return FT_OK;
        e.flags |= SIM_LOG_INJECTED;
        return f.status ? f.status : (e.op == SIM_OP_OPEN ? 2 : 4);
    }

    // n, or fewer for a short write or read injected for this call.
    size_t shortened(Ticket &shortIo, size_t n)
    {
        int count;
        if (!shortIo.take(count))
            return n;
        e.flags |= SIM_LOG_SHORT;
        return std::min<size_t>(n, static_cast<size_t>(std::max(count, 0)));
    }

    void keepData(const uint8_t *bytes, size_t n)
    {
        e.count = static_cast<unsigned long>(n);
        e.dataLen = static_cast<int>(std::min<size_t>(n, SIM_LOG_DATA_MAX));
        if (e.dataLen)
            std::memcpy(e.data, bytes, e.dataLen);
    }

    // The port behind the call's handle, or null with the status to return:
    // an injected failure's, 6 for bad arguments, 1 for an unknown or closed
    // handle, 4 for a handle whose device was unplugged.
    Port *begin(FT_STATUS &status, bool argumentsOk = true)
    {
        status = injected();
        if (!status && !argumentsOk)
            status = 6;
        if (status)
            return nullptr;
        auto it = s.ports.find(reinterpret_cast<uintptr_t>(e.handle));
        const bool counted = epoch == s.epoch;
        if (it == s.ports.end()) {
            e.flags |= SIM_LOG_BAD_HANDLE;
            s.counts.badHandleCalls += counted;
            s.counts.badCloses += counted && e.op == SIM_OP_CLOSE;
            status = 1;
            return nullptr;
        }
        e.device = it->second.device;
        if (!s.stale(it->first, it->second))
            return &it->second;
        e.flags |= SIM_LOG_UNPLUGGED;
        s.counts.unpluggedCalls += counted;
        status = 4;
        return nullptr;
    }
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

// One of the three line settings on an open handle: unless an injected fault
// or a bad handle ends the call, the port keeps a setting the bridge can make,
// and refuses one it cannot with status 6.
FT_STATUS configurePort(int op, FT_HANDLE handle, std::initializer_list<unsigned long> args, bool possible)
{
    Call c(op, handle, args);
    FT_STATUS st;
    Port *p = c.begin(st);
    if (p && possible) {
        std::copy(args.begin(), args.end(), p->line[op - SIM_OP_SET_BAUD_RATE]);
        p->lineSet[op - SIM_OP_SET_BAUD_RATE] = true;
    }
    return c.finish(p ? (possible ? FT_STATUS(FT_OK) : FT_STATUS(6)) : st);
}

} // namespace

extern "C" {

FT_STATUS WINAPI FT_Open(int deviceNumber, FT_HANDLE *handle)
{
    Call c(SIM_OP_OPEN, nullptr, {static_cast<unsigned long>(deviceNumber)});
    Sim &s = c.s;
    c.e.device = deviceNumber;
    if (const FT_STATUS st = c.injected())
        return c.finish(st);
    const int position = handle ? s.positionOf(deviceNumber) : -1;
    if (position < 0)
        return c.finish(handle ? 2 : 6);
    SharedState::Lock shared(s.store);
    DeviceRecord &r = s.store.device(position);
    // Refused while open, as the driver does: here, on a handle that has not
    // gone stale, or in another process that still runs.
    const ProcessIdentity self = ProcessIdentity::self();
    const auto held = s.ports.find(r.ownerHandle);
    if (self.owns(r) ? held != s.ports.end() && !s.stale(held->first, held->second) : ownerAlive(r))
        return c.finish(3);
    const uintptr_t id = kHandleBase + 4 * ++s.handlesIssued;
    r.ownerProcess = self.id;
    r.ownerCreatedLow = self.createdLow;
    r.ownerCreatedHigh = self.createdHigh;
    r.ownerHandle = static_cast<uint32_t>(id);
    Port &port = s.ports[id];
    port.device = position;
    port.plugCycle = r.plugCycle;
    *handle = reinterpret_cast<FT_HANDLE>(id);
    c.e.handle = *handle;
    ++s.counts.opensOk;
    return c.finish(FT_OK);
}

FT_STATUS WINAPI FT_Close(FT_HANDLE handle)
{
    Call c(SIM_OP_CLOSE, handle, {});
    FT_STATUS st;
    Port *p = c.begin(st);
    const auto known = c.s.ports.find(reinterpret_cast<uintptr_t>(handle));
    if ((c.e.flags & SIM_LOG_INJECTED) || known == c.s.ports.end())
        return c.finish(st);
    // Closing always releases the handle, even one of an unplugged device, for
    // which it reports the driver's I/O error.
    c.s.release(known->second.device, known->first);
    c.s.ports.erase(known);
    c.s.counts.closesOk += p != nullptr;
    return c.finish(p ? FT_OK : st);
}

FT_STATUS WINAPI FT_SetBaudRate(FT_HANDLE handle, ULONG baudRate)
{
    return configurePort(SIM_OP_SET_BAUD_RATE, handle, {baudRate}, baudRate != 0);
}

// What the bridge can do at all: 7 or 8 bits, stop code 0 (1) or 2 (2),
// parity none/odd/even/mark/space (0..4).
FT_STATUS WINAPI FT_SetDataCharacteristics(FT_HANDLE handle, UCHAR wordLength, UCHAR stopBits, UCHAR parity)
{
    return configurePort(SIM_OP_SET_DATA_CHARACTERISTICS, handle, {wordLength, stopBits, parity},
                         (wordLength == 7 || wordLength == 8) && (stopBits == 0 || stopBits == 2) && parity <= 4);
}

FT_STATUS WINAPI FT_SetTimeouts(FT_HANDLE handle, ULONG readTimeout, ULONG writeTimeout)
{
    return configurePort(SIM_OP_SET_TIMEOUTS, handle, {readTimeout, writeTimeout}, true);
}

FT_STATUS WINAPI FT_Write(FT_HANDLE handle, LPVOID buffer, DWORD bytesToWrite, LPDWORD bytesWritten)
{
    Call c(SIM_OP_WRITE, handle, {bytesToWrite});
    Sim &s = c.s;
    if (bytesWritten)
        *bytesWritten = 0;
    FT_STATUS st;
    Port *p = c.begin(st, bytesWritten && (buffer || !bytesToWrite));
    if (!p)
        return c.finish(st);

    const size_t n = c.shortened(s.shortWrite, bytesToWrite);
    const auto *bytes = static_cast<const uint8_t *>(buffer);
    if (!p->settingsApplied()) {
        // Wrong or missing line settings: the controller only sees noise.
        c.e.flags |= SIM_LOG_UNCONFIGURED;
    } else {
        SharedState::Lock shared(s.store);
        DeviceRecord &r = s.store.device(p->device);
        // A foreign device takes the bytes and never answers; a controller gone
        // silent (VORNSIM_SILENT_AFTER) still takes commands but answers nothing.
        const ControllerState::Input in =
            r.kind == SIM_KIND_FOREIGN ? ControllerState::Input{} : r.controller.accept(bytes, n);
        c.e.flags |= in.flags;
        s.counts.unknownCommandBytes += in.unknownBytes;
        for (int k = 0; k < in.statusRequests && !s.store.scenario().silentAt(s.store.seconds()); ++k) {
            uint8_t frame[SIM_FRAME_SIZE];
            s.encode(p->device, ++s.counts.repliesGenerated, frame);
            p->rx.insert(p->rx.end(), frame, frame + SIM_FRAME_SIZE);
        }
    }
    c.keepData(bytes, n);
    *bytesWritten = static_cast<DWORD>(n);
    return c.finish(FT_OK, n, p->baud());
}

FT_STATUS WINAPI FT_Read(FT_HANDLE handle, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesReturned)
{
    Call c(SIM_OP_READ, handle, {bytesToRead});
    Sim &s = c.s;
    if (bytesReturned)
        *bytesReturned = 0;
    FT_STATUS st;
    Port *p = c.begin(st, buffer && bytesReturned);
    if (!p)
        return c.finish(st);
    if (!p->settingsApplied() || !p->lineSet[2]) {
        c.e.flags |= SIM_LOG_UNCONFIGURED;
        ++s.counts.unconfiguredReads;
        return c.finish(4);
    }
    const uintptr_t id = reinterpret_cast<uintptr_t>(handle);
    const ULONG readTimeout = p->line[2][0];
    p = nullptr; // the port may go away while this call waits below

    // A port that went away (closed, unplugged, reset) while this read waited.
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
        c.lock.unlock();
        std::this_thread::sleep_for(std::chrono::milliseconds(clampMs(delayMs)));
        c.lock.lock();
        if (gone())
            return c.finish(4);
    }

    if (s.gateClosed) {
        c.e.flags |= SIM_LOG_GATED;
        const unsigned generation = s.gateGeneration;
        ++s.gateWaiting;
        const bool released =
            waitUnlocked(c.lock, s.gateLimitMs, [&] { return !s.gateClosed || s.gateGeneration != generation; });
        --s.gateWaiting;
        if (!released)
            c.e.flags |= SIM_LOG_GATE_LIMIT;
        if (gone())
            return c.finish(4);
    }

    // Wait, within the read time-out, until enough bytes are pending.
    const ULONG capMs = static_cast<ULONG>(s.readWaitCapMs);
    const int waitMs = static_cast<int>(readTimeout && readTimeout < capMs ? readTimeout : capMs);
    waitUnlocked(c.lock, waitMs, [&] {
        auto it = s.ports.find(id);
        return it == s.ports.end() || it->second.unplugged || c.epoch != s.epoch || it->second.rx.size() >= bytesToRead;
    });
    if (gone())
        return c.finish(4);
    Port &port = s.ports[id];

    const size_t n = c.shortened(s.shortRead, std::min<size_t>(bytesToRead, port.rx.size()));
    if (!(c.e.flags & SIM_LOG_SHORT) && n < bytesToRead)
        c.e.flags |= SIM_LOG_READ_TIMEOUT;
    std::vector<uint8_t> got(port.rx.begin(), port.rx.begin() + n);
    port.rx.erase(port.rx.begin(), port.rx.begin() + n);
    const unsigned long long before = port.delivered;
    port.delivered += n;
    s.counts.framesSent += static_cast<int>(port.delivered / SIM_FRAME_SIZE - before / SIM_FRAME_SIZE);
    c.keepData(got.data(), n);
    st = c.finish(FT_OK, n, port.baud());
    if (c.lock)
        c.lock.unlock(); // the caller's buffer is written without the lock
    std::copy(got.begin(), got.end(), static_cast<uint8_t *>(buffer));
    *bytesReturned = static_cast<DWORD>(n);
    return st;
}

} // extern "C"
