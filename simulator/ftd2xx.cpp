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

#include "controller/d2xx.h"
#include "controllerModel.h"
#include "sharedState.h"
#include "simControl.h"

namespace {

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
  uintptr_t openPort = 0;  // handle currently holding the device, 0 if none
  ControllerModel model;   // works on the record's controller state
};

struct Fault {
  bool always = false;
  int countdown = 0;  // fails when it counts down to 0 (1 = next call)
  FT_STATUS status = 0;
};

// "For the next `times` calls use `value`" (times -1: until cleared).
struct Ticket {
  int value = 0;
  int times = 0;
  void set(int v, int t) {
    value = v;
    times = t < 0 ? -1 : t;
  }
  bool take(int &v) {
    if (times == 0) return false;
    if (times > 0) --times;
    v = value;
    return true;
  }
};

struct Sim {
  std::mutex mu;
  std::condition_variable cv;  // data arrived, gate opened, handle closed/unplugged, reset

  SharedState store;
  Device devices[SIM_MAX_DEVICES];
  std::map<uintptr_t, Port> ports;
  uintptr_t handlesIssued = 0;  // survives resets: handle values stay unique

  Fault faults[SIM_OP_COUNT];
  Ticket shortWrite, shortRead, readDelay;
  bool gateClosed = false;
  unsigned gateGeneration = 0;
  int gateLimitMs = kDefaultGateLimitMs;
  int readWaitCapMs = kDefaultReadWaitCapMs;
  bool pacing = false;
  bool frozen = false;
  bool generator = false;

  SimCounts counts{};
  std::atomic<int> readsInProgress{0};
  int gateWaiting = 0;

  std::vector<SimLogEntry> log = std::vector<SimLogEntry>(SIM_LOG_CAPACITY);
  int logCount = 0;

  unsigned epoch = 0;
  Clock::time_point resetAt = Clock::now();

  // Loading never resets shared records: a process attaching to controllers
  // that others already use finds them as they are.
  Sim() {
    store.open(envIsOne("VORNSIM_SHARED"));
    for (int i = 0; i < SIM_MAX_DEVICES; ++i) devices[i].model.useState(&store.device(i).controller);
    resetProcessLocked();
    pacing = envIsOne("VORNSIM_WIRE_PACING");
  }

  static bool envIsOne(const char *name) {
    char value[8] = {};
    const DWORD n = GetEnvironmentVariableA(name, value, sizeof value);
    return n > 0 && n < sizeof value && std::strcmp(value, "1") == 0;
  }

  // simReset: the device records (shared ones too) and this process's state.
  void resetLocked() {
    {
      SharedState::Lock shared(store);
      store.resetDevices();
    }
    resetProcessLocked();
  }

  void resetProcessLocked() {
    ++epoch;
    for (Device &d : devices) {
      d.openPort = 0;
      d.model.clearOverrides();
    }
    ports.clear();
    for (auto &f : faults) f = Fault{};
    shortWrite = shortRead = readDelay = Ticket{};
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
  void encode(int device, int k, uint8_t out[SIM_FRAME_SIZE]) const {
    const ControllerModel &m = devices[device].model;
    if (generator)
      m.encodeGenerated(k, out);
    else
      m.encode(store.driftSeconds(), frozen, out);
  }

  // Answer one status request on a port with the next reply. Shared lock held.
  void answer(Port &p) {
    uint8_t frame[SIM_FRAME_SIZE];
    encode(p.device, ++counts.repliesGenerated, frame);
    p.rx.insert(p.rx.end(), frame, frame + SIM_FRAME_SIZE);
  }

  bool plugged(int device) {
    SharedState::Lock shared(store);
    return store.device(device).plugged != 0;
  }

  // A port whose device was unplugged or reset since it was opened, in this
  // process or another one, is stale: it loses what was pending and no longer
  // holds the device, as simUnplug does to ports of this process.
  bool stale(uintptr_t id, Port &p) {
    if (p.unplugged) return true;
    uint32_t cycle;
    {
      SharedState::Lock shared(store);
      cycle = store.device(p.device).plugCycle;
    }
    if (cycle == p.plugCycle) return false;
    p.unplugged = true;
    p.rx.clear();
    if (devices[p.device].openPort == id) devices[p.device].openPort = 0;
    return true;
  }
};

// Built when the DLL loads (so the environment is read then) and never
// destroyed: threads may still be inside the DLL while the process exits.
Sim &sim() {
  static Sim *s = new Sim;
  return *s;
}
[[maybe_unused]] const bool g_builtAtLoad = (sim(), true);

// The handles of the shared section and its mutex are closed once, when the
// DLL is unloaded or the process ends.
struct CloseSharedStateAtUnload {
  ~CloseSharedStateAtUnload() { sim().store.close(); }
} g_closeSharedStateAtUnload;

int clampMs(int ms) { return ms < 0 ? 0 : std::min(ms, kMaxWaitMs); }

// Time the bytes would spend on the wire, 10 bits each.
void paceWire(size_t bytes, ULONG baud) {
  if (bytes == 0 || baud == 0) return;
  const auto us = static_cast<long long>(bytes) * 10 * 1000000 / baud;
  std::this_thread::sleep_for(std::chrono::microseconds(us));
}

bool validOp(int op) { return op >= 0 && op < SIM_OP_COUNT; }
bool validDevice(int d) { return d >= 0 && d < SIM_MAX_DEVICES; }

// One bridge call being served; recorded by finish().
struct Call {
  Sim &s;
  SimLogEntry e{};
  unsigned epoch;

  Call(Sim &sim_, int op, FT_HANDLE handle) : s(sim_), epoch(sim_.epoch) {
    e.op = op;
    e.handle = handle;
    e.device = -1;
    e.threadId = GetCurrentThreadId();
  }

  // Lock held. Counts the call and appends it to the log, unless a reset
  // happened while it was inside the DLL.
  FT_STATUS finish(FT_STATUS status) {
    e.status = status;
    if (epoch != s.epoch) return status;
    ++s.counts.calls[e.op];
    if (status != FT_OK) ++s.counts.failedCalls;
    if (e.flags & SIM_LOG_INJECTED) ++s.counts.injectedFailures;
    e.timeMs = static_cast<unsigned long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - s.resetAt).count());
    e.seq = s.logCount;
    s.log[s.logCount % SIM_LOG_CAPACITY] = e;
    ++s.logCount;
    return status;
  }

  void keepData(const uint8_t *bytes, size_t n) {
    e.count = static_cast<unsigned long>(n);
    e.dataLen = static_cast<int>(std::min<size_t>(n, SIM_LOG_DATA_MAX));
    if (e.dataLen) std::memcpy(e.data, bytes, e.dataLen);
  }

  // A failure injected for this operation, if one is due.
  bool injected(FT_STATUS &status) {
    Fault &f = s.faults[e.op];
    bool fire = f.always;
    if (!fire && f.countdown > 0) fire = (--f.countdown == 0);
    if (!fire) return false;
    status = f.status ? f.status : (e.op == SIM_OP_OPEN ? 2 : 4);
    e.flags |= SIM_LOG_INJECTED;
    return true;
  }

  // The port behind the handle, or null with the status to return: 1 for an
  // unknown or closed handle, 4 for a handle whose device was unplugged.
  Port *port(FT_STATUS &status) {
    auto it = s.ports.find(reinterpret_cast<uintptr_t>(e.handle));
    if (it == s.ports.end()) {
      e.flags |= SIM_LOG_BAD_HANDLE;
      if (epoch == s.epoch) {
        ++s.counts.badHandleCalls;
        if (e.op == SIM_OP_CLOSE) ++s.counts.badCloses;
      }
      status = 1;
      return nullptr;
    }
    e.device = it->second.device;
    if (s.stale(it->first, it->second)) {
      e.flags |= SIM_LOG_UNPLUGGED;
      if (epoch == s.epoch) ++s.counts.unpluggedCalls;
      status = 4;
      return nullptr;
    }
    return &it->second;
  }
};

bool portSettingsApplied(const Port &p) {
  return p.baudSet && p.baud == kDeviceBaud && p.dataSet && p.wordLength == kWordLength8 &&
         p.stopBits == kStopBits1 && p.parity == kParityNone;
}

// Run f on a device's controller model under the locks (control setters).
template <typename F>
int withModel(int device, F f) {
  Sim &s = sim();
  if (!validDevice(device)) return -1;
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
bool waitUnlocked(std::unique_lock<std::mutex> &lock, int ms, Ready ready) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
  while (!ready()) {
    if (Clock::now() >= deadline) return false;
    lock.unlock();
    Sleep(1);
    lock.lock();
  }
  return true;
}

}  // namespace

// ---------------------------------------------------------------------------
// The seven bridge operations.

extern "C" {

FT_STATUS WINAPI FT_Open(int deviceNumber, FT_HANDLE *handle) {
  Sim &s = sim();
  std::lock_guard<std::mutex> lock(s.mu);
  Call c(s, SIM_OP_OPEN, nullptr);
  c.e.device = deviceNumber;
  c.e.args[0] = static_cast<unsigned long>(deviceNumber);
  FT_STATUS st = FT_OK;
  if (c.injected(st)) return c.finish(st);
  if (!handle) return c.finish(6);
  if (!validDevice(deviceNumber) || !s.plugged(deviceNumber)) return c.finish(2);
  Device &d = s.devices[deviceNumber];
  if (d.openPort) {
    // Already open, as real hardware refuses, unless that handle went stale.
    auto held = s.ports.find(d.openPort);
    if (held != s.ports.end() && !s.stale(held->first, held->second)) return c.finish(3);
  }
  const uintptr_t id = kHandleBase + 4 * ++s.handlesIssued;
  Port &port = s.ports[id];
  port.device = deviceNumber;
  {
    SharedState::Lock shared(s.store);
    port.plugCycle = s.store.device(deviceNumber).plugCycle;
  }
  d.openPort = id;
  *handle = reinterpret_cast<FT_HANDLE>(id);
  c.e.handle = *handle;
  ++s.counts.opensOk;
  return c.finish(FT_OK);
}

FT_STATUS WINAPI FT_Close(FT_HANDLE handle) {
  Sim &s = sim();
  std::lock_guard<std::mutex> lock(s.mu);
  Call c(s, SIM_OP_CLOSE, handle);
  FT_STATUS st = FT_OK;
  if (c.injected(st)) return c.finish(st);
  const uintptr_t id = reinterpret_cast<uintptr_t>(handle);
  const bool known = s.ports.count(id) != 0;
  Port *p = c.port(st);
  if (!known) return c.finish(st);
  // Closing always releases the handle; for an unplugged device it still
  // reports the I/O error the driver would see.
  const int device = s.ports[id].device;
  if (s.devices[device].openPort == id) s.devices[device].openPort = 0;
  s.ports.erase(id);
  s.cv.notify_all();
  if (!p) return c.finish(st);
  ++s.counts.closesOk;
  return c.finish(FT_OK);
}

FT_STATUS WINAPI FT_SetBaudRate(FT_HANDLE handle, ULONG baudRate) {
  Sim &s = sim();
  std::lock_guard<std::mutex> lock(s.mu);
  Call c(s, SIM_OP_SET_BAUD_RATE, handle);
  c.e.args[0] = baudRate;
  FT_STATUS st = FT_OK;
  if (c.injected(st)) return c.finish(st);
  Port *p = c.port(st);
  if (!p) return c.finish(st);
  if (baudRate == 0) return c.finish(6);
  p->baud = baudRate;
  p->baudSet = true;
  return c.finish(FT_OK);
}

FT_STATUS WINAPI FT_SetDataCharacteristics(FT_HANDLE handle, UCHAR wordLength, UCHAR stopBits,
                                           UCHAR parity) {
  Sim &s = sim();
  std::lock_guard<std::mutex> lock(s.mu);
  Call c(s, SIM_OP_SET_DATA_CHARACTERISTICS, handle);
  c.e.args[0] = wordLength;
  c.e.args[1] = stopBits;
  c.e.args[2] = parity;
  FT_STATUS st = FT_OK;
  if (c.injected(st)) return c.finish(st);
  Port *p = c.port(st);
  if (!p) return c.finish(st);
  // What the bridge can do at all: 7 or 8 bits, stop code 0 (1) or 2 (2),
  // parity none/odd/even/mark/space (0..4).
  if ((wordLength != 7 && wordLength != 8) || (stopBits != 0 && stopBits != 2) || parity > 4)
    return c.finish(6);
  p->wordLength = wordLength;
  p->stopBits = stopBits;
  p->parity = parity;
  p->dataSet = true;
  return c.finish(FT_OK);
}

FT_STATUS WINAPI FT_SetTimeouts(FT_HANDLE handle, ULONG readTimeout, ULONG writeTimeout) {
  Sim &s = sim();
  std::lock_guard<std::mutex> lock(s.mu);
  Call c(s, SIM_OP_SET_TIMEOUTS, handle);
  c.e.args[0] = readTimeout;
  c.e.args[1] = writeTimeout;
  FT_STATUS st = FT_OK;
  if (c.injected(st)) return c.finish(st);
  Port *p = c.port(st);
  if (!p) return c.finish(st);
  p->readTimeout = readTimeout;
  p->writeTimeout = writeTimeout;
  p->timeoutsSet = true;
  return c.finish(FT_OK);
}

FT_STATUS WINAPI FT_Write(FT_HANDLE handle, LPVOID buffer, DWORD bytesToWrite, LPDWORD bytesWritten) {
  Sim &s = sim();
  std::unique_lock<std::mutex> lock(s.mu);
  Call c(s, SIM_OP_WRITE, handle);
  c.e.args[0] = bytesToWrite;
  if (bytesWritten) *bytesWritten = 0;
  FT_STATUS st = FT_OK;
  if (c.injected(st)) return c.finish(st);
  if (!bytesWritten || (!buffer && bytesToWrite)) return c.finish(6);
  Port *p = c.port(st);
  if (!p) return c.finish(st);

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
  } else {
    SharedState::Lock shared(s.store);
    const ControllerModel::Input in = s.devices[p->device].model.accept(bytes, n);
    c.e.flags |= in.flags;
    s.counts.unknownCommandBytes += in.unknownBytes;
    for (int r = 0; r < in.statusRequests; ++r) s.answer(*p);
    if (in.statusRequests) s.cv.notify_all();
  }
  c.keepData(bytes, n);
  *bytesWritten = static_cast<DWORD>(n);
  const ULONG paceBaud = s.pacing ? p->baud : 0;
  st = c.finish(FT_OK);
  lock.unlock();
  paceWire(n, paceBaud);
  return st;
}

FT_STATUS WINAPI FT_Read(FT_HANDLE handle, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesReturned) {
  Sim &s = sim();
  InProgress inProgress(s.readsInProgress);
  std::unique_lock<std::mutex> lock(s.mu);
  Call c(s, SIM_OP_READ, handle);
  c.e.args[0] = bytesToRead;
  if (bytesReturned) *bytesReturned = 0;
  FT_STATUS st = FT_OK;
  if (c.injected(st)) return c.finish(st);
  if (!buffer || !bytesReturned) return c.finish(6);
  Port *p = c.port(st);
  if (!p) return c.finish(st);
  if (!portSettingsApplied(*p) || !p->timeoutsSet) {
    c.e.flags |= SIM_LOG_UNCONFIGURED;
    ++s.counts.unconfiguredReads;
    return c.finish(4);
  }
  const uintptr_t id = reinterpret_cast<uintptr_t>(handle);
  const ULONG readTimeout = p->readTimeout;
  p = nullptr;  // the port may go away while this call waits below

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
    if (gone()) return c.finish(4);
  }

  if (s.gateClosed) {
    c.e.flags |= SIM_LOG_GATED;
    const unsigned generation = s.gateGeneration;
    ++s.gateWaiting;
    const bool released = waitUnlocked(lock, s.gateLimitMs, [&] {
      return !s.gateClosed || s.gateGeneration != generation;
    });
    --s.gateWaiting;
    if (!released) c.e.flags |= SIM_LOG_GATE_LIMIT;
    if (gone()) return c.finish(4);
  }

  // Wait, within the read time-out, until enough bytes are pending.
  const int capMs = s.readWaitCapMs;
  const int waitMs = (readTimeout == 0 || readTimeout > static_cast<ULONG>(capMs))
                         ? capMs
                         : static_cast<int>(readTimeout);
  waitUnlocked(lock, waitMs, [&] {
    auto it = s.ports.find(id);
    return it == s.ports.end() || it->second.unplugged || c.epoch != s.epoch ||
           it->second.rx.size() >= bytesToRead;
  });
  if (gone()) return c.finish(4);
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
  if (n) std::memcpy(buffer, got.data(), n);
  *bytesReturned = static_cast<DWORD>(n);
  return st;
}

// ---------------------------------------------------------------------------
// Control interface (see simControl.h).

void SIM_API simReset(void) {
  Sim &s = sim();
  std::lock_guard<std::mutex> lock(s.mu);
  s.resetLocked();
}

int SIM_API simPlug(int device) {
  Sim &s = sim();
  if (!validDevice(device)) return -1;
  std::lock_guard<std::mutex> lock(s.mu);
  SharedState::Lock shared(s.store);
  s.store.device(device).plugged = 1;
  return 0;
}

int SIM_API simUnplug(int device) {
  Sim &s = sim();
  if (!validDevice(device)) return -1;
  std::lock_guard<std::mutex> lock(s.mu);
  {
    SharedState::Lock shared(s.store);
    vornsim::DeviceRecord &r = s.store.device(device);
    r.plugged = 0;
    ++r.plugCycle;
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

int SIM_API simIsPlugged(int device) {
  Sim &s = sim();
  if (!validDevice(device)) return 0;
  std::lock_guard<std::mutex> lock(s.mu);
  return s.plugged(device) ? 1 : 0;
}

int SIM_API simFailNth(int op, int n, unsigned long status) {
  Sim &s = sim();
  if (!validOp(op) || n < 1) return -1;
  std::lock_guard<std::mutex> lock(s.mu);
  s.faults[op] = Fault{false, n, status};
  return 0;
}

int SIM_API simFailNext(int op, unsigned long status) { return simFailNth(op, 1, status); }

int SIM_API simFailAlways(int op, unsigned long status) {
  Sim &s = sim();
  if (!validOp(op)) return -1;
  std::lock_guard<std::mutex> lock(s.mu);
  s.faults[op] = Fault{true, 0, status};
  return 0;
}

int SIM_API simClearFaults(int op) {
  Sim &s = sim();
  if (op != SIM_OP_ALL && !validOp(op)) return -1;
  std::lock_guard<std::mutex> lock(s.mu);
  for (int i = 0; i < SIM_OP_COUNT; ++i)
    if (op == SIM_OP_ALL || op == i) s.faults[i] = Fault{};
  return 0;
}

void SIM_API simShortWrite(int count, int times) {
  Sim &s = sim();
  std::lock_guard<std::mutex> lock(s.mu);
  s.shortWrite.set(count, times);
}

void SIM_API simShortRead(int count, int times) {
  Sim &s = sim();
  std::lock_guard<std::mutex> lock(s.mu);
  s.shortRead.set(count, times);
}

void SIM_API simReadDelay(int ms, int times) {
  Sim &s = sim();
  std::lock_guard<std::mutex> lock(s.mu);
  s.readDelay.set(clampMs(ms), ms <= 0 ? 0 : times);
}

void SIM_API simGateClose(void) {
  Sim &s = sim();
  std::lock_guard<std::mutex> lock(s.mu);
  s.gateClosed = true;
}

void SIM_API simGateOpen(void) {
  Sim &s = sim();
  std::lock_guard<std::mutex> lock(s.mu);
  s.gateClosed = false;
  ++s.gateGeneration;
  s.cv.notify_all();
}

int SIM_API simGateWaiting(void) {
  Sim &s = sim();
  std::lock_guard<std::mutex> lock(s.mu);
  return s.gateWaiting;
}

void SIM_API simSetGateLimit(int ms) {
  Sim &s = sim();
  std::lock_guard<std::mutex> lock(s.mu);
  s.gateLimitMs = clampMs(ms);
}

void SIM_API simSetReadWaitCap(int ms) {
  Sim &s = sim();
  std::lock_guard<std::mutex> lock(s.mu);
  s.readWaitCapMs = clampMs(ms);
}

void SIM_API simSetPacing(int on) {
  Sim &s = sim();
  std::lock_guard<std::mutex> lock(s.mu);
  s.pacing = on != 0;
}

int SIM_API simGetPacing(void) {
  Sim &s = sim();
  std::lock_guard<std::mutex> lock(s.mu);
  return s.pacing ? 1 : 0;
}

int SIM_API simSetFanDuty(int device, int fan, int percent) {
  return withModel(device, [&](ControllerModel &m) { return m.setDutyPercent(fan, percent); });
}

int SIM_API simSetFanMaxSpeed(int device, int fan, int word) {
  return withModel(device, [&](ControllerModel &m) { return m.setMaxSpeed(fan, word); });
}

int SIM_API simSetFanManual(int device, int fan, int flag) {
  return withModel(device, [&](ControllerModel &m) { return m.setManual(fan, flag); });
}

int SIM_API simSetTemperature(int device, int sensor, int halfDegrees) {
  return withModel(device, [&](ControllerModel &m) { return m.setTemperature(sensor, halfDegrees); });
}

int SIM_API simSetFrameByte(int device, int offset, int value) {
  return withModel(device, [&](ControllerModel &m) { return m.setOverride(offset, value); });
}

int SIM_API simClearFrameBytes(int device) {
  return withModel(device, [](ControllerModel &m) {
    m.clearOverrides();
    return true;
  });
}

void SIM_API simFreezeDrift(int frozen) {
  Sim &s = sim();
  std::lock_guard<std::mutex> lock(s.mu);
  s.frozen = frozen != 0;
}

void SIM_API simSetFrameGenerator(int on) {
  Sim &s = sim();
  std::lock_guard<std::mutex> lock(s.mu);
  s.generator = on != 0;
}

int SIM_API simGetFrame(int device, unsigned char *out) {
  Sim &s = sim();
  if (!validDevice(device) || !out) return -1;
  std::lock_guard<std::mutex> lock(s.mu);
  SharedState::Lock shared(s.store);
  s.encode(device, s.counts.repliesGenerated + 1, out);
  return 0;
}

int SIM_API simIsShared(void) {
  Sim &s = sim();
  std::lock_guard<std::mutex> lock(s.mu);
  return s.store.shared() ? 1 : 0;
}

int SIM_API simLogCount(void) {
  Sim &s = sim();
  std::lock_guard<std::mutex> lock(s.mu);
  return s.logCount;
}

int SIM_API simLogGet(int index, SimLogEntry *out) {
  Sim &s = sim();
  if (!out || index < 0) return 0;
  std::lock_guard<std::mutex> lock(s.mu);
  if (index >= s.logCount || index < s.logCount - SIM_LOG_CAPACITY) return 0;
  *out = s.log[index % SIM_LOG_CAPACITY];
  return 1;
}

void SIM_API simLogClear(void) {
  Sim &s = sim();
  std::lock_guard<std::mutex> lock(s.mu);
  s.logCount = 0;
}

void SIM_API simGetCounts(SimCounts *out) {
  Sim &s = sim();
  if (!out) return;
  std::lock_guard<std::mutex> lock(s.mu);
  *out = s.counts;
  out->openHandles = static_cast<int>(s.ports.size());
  out->readsInProgress = s.readsInProgress.load();
  out->gateWaiting = s.gateWaiting;
}

int SIM_API simFrameCount(void) {
  Sim &s = sim();
  std::lock_guard<std::mutex> lock(s.mu);
  return s.counts.framesSent;
}

int SIM_API simOpenHandles(void) {
  Sim &s = sim();
  std::lock_guard<std::mutex> lock(s.mu);
  return static_cast<int>(s.ports.size());
}

}  // extern "C"
