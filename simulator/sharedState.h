// Where the simulated controllers keep what a real controller would remember
// across processes: which device numbers are plugged in and each controller's
// fan and sensor state.
//
// A real controller is one device that every process on the machine talks
// to. By default each process that loads the simulator gets its own set of
// controllers, in process memory, which keeps tests apart. When the
// environment has VORNSIM_SHARED=1 at load, the records live instead in a
// named shared memory section guarded by a named mutex, so every process of
// one Wine server (or Windows session) sees the same controllers: a duty set
// by one process shows in the next frame another process reads.
//
// Everything else (handles, read buffers, the call log, counts, injected
// faults, pinned frame bytes, the frozen and generator switches) stays per
// process.
#pragma once

#include <windows.h>

#include <chrono>
#include <cstdint>

#include "controllerModel.h"
#include "simControl.h"
#include "simDeviceControl.h"

namespace vornsim {

// One position on the bus.
struct DeviceRecord {
    int32_t plugged;    // 1: a device sits at this position
    uint32_t plugCycle; // bumped on every unplug and reset; a handle opened in
                        // an earlier cycle is stale, whichever process unplugged
    ControllerState controller;
    // What the bridge library's device list shows of it.
    int32_t kind; // SIM_KIND_CONTROLLER, or SIM_KIND_FOREIGN: another FTDI
                  // product that never answers the status request
    uint32_t location;
    char serial[16]; // zero-terminated
    char description[64];
    // Who has it open, as the driver refuses every second open: process id,
    // that process's creation time (a reused id is no owner) and its handle.
    uint32_t ownerProcess; // 0: nobody
    uint32_t ownerCreatedLow, ownerCreatedHigh;
    uint32_t ownerHandle;
};
static_assert(sizeof(DeviceRecord) == 144, "DeviceRecord is shared between processes");

// The default identity of a device of `kind` at `position` (see
// simDeviceControl.h); leaves the rest of the record alone.
void setIdentity(DeviceRecord &r, int position, int kind);

// This process, as an owner of records.
struct ProcessIdentity {
    uint32_t id;
    uint32_t createdLow, createdHigh;
    static ProcessIdentity self();
    bool owns(const DeviceRecord &r) const
    {
        return r.ownerProcess == id && r.ownerCreatedLow == createdLow && r.ownerCreatedHigh == createdHigh;
    }
};

// True while the record's owner is a running process (another process's
// handle goes away with it, as the driver releases a device when its
// program ends).
bool ownerAlive(const DeviceRecord &r);

class SharedState {
public:
    // Names of the section and of its mutex in the session's namespace.
    static constexpr const char *kSectionName = "Local\\VornSimulatedController";
    static constexpr const char *kMutexName = "Local\\VornSimulatedControllerLock";
    // Longest wait for the mutex; then the caller goes ahead without it rather
    // than hang behind a process that is stuck while holding it.
    static constexpr DWORD kLockWaitMs = 2000;

    // Sets up the records once, at load: attaches to (or creates) the shared
    // section when `shared`, else, or when that fails, keeps them in process
    // memory. Fresh records hold the defaults: a controller at position 0,
    // every controller in its default state; or, when `layout` is not null,
    // one device per comma-separated word at positions 0, 1, ...:
    // "controller", "foreign", or "none" (nothing there).
    void open(bool shared, const char *layout);

    // True when the records really are shared with other processes.
    bool shared() const { return section_ != nullptr; }

    // Record of device `device` (0..SIM_MAX_DEVICES-1). Hold a Lock while
    // reading or changing it.
    DeviceRecord &device(int device) { return records_[device]; }

    // All records back to the defaults; every device starts a new plug cycle.
    // Hold a Lock.
    void resetDevices();
    // Gives up every record this process holds open (at unload). Takes the lock.
    void releaseOwned();

    // Seconds on the clock temperatures drift by. Shared: from the system time
    // against a start time kept in the section, so every process sees the same
    // drift. Process memory: since the DLL was loaded.
    double driftSeconds() const;

    // Releases the mutex and section handles (DLL unload). The records stay
    // readable: the view stays mapped until the process ends.
    void close();

    // Holds the named mutex for a scope, if there is one; a wait that times
    // out or fails leaves the scope unguarded.
    class Lock {
    public:
        explicit Lock(SharedState &s);
        ~Lock();
        Lock(const Lock &) = delete;
        Lock &operator=(const Lock &) = delete;

    private:
        HANDLE mutex_ = nullptr;
        bool owned_ = false;
    };

private:
    struct Section; // the layout of the shared section, in sharedState.cpp

    bool attach();
    static void setDefaults(DeviceRecord &r, int position);
    void applyLayout(const char *layout);

    DeviceRecord local_[SIM_MAX_DEVICES] = {};
    DeviceRecord *records_ = local_;
    HANDLE mutex_ = nullptr;
    HANDLE mapping_ = nullptr;
    Section *section_ = nullptr;
    std::chrono::steady_clock::time_point loaded_; // the local drift clock's start
};

} // namespace vornsim
