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

namespace vornsim {

// One device number.
struct DeviceRecord {
    int32_t plugged;    // 1: a controller sits behind the number
    uint32_t plugCycle; // bumped on every unplug and reset; a handle opened in
                        // an earlier cycle is stale, whichever process unplugged
    ControllerState controller;
};
static_assert(sizeof(DeviceRecord) == 40, "DeviceRecord is shared between processes");

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
    // memory. Fresh records hold the defaults: device 0 plugged in, every
    // controller in its default state.
    void open(bool shared);

    // True when the records really are shared with other processes.
    bool shared() const { return section_ != nullptr; }

    // Record of device `device` (0..SIM_MAX_DEVICES-1). Hold a Lock while
    // reading or changing it.
    DeviceRecord &device(int device) { return records_[device]; }

    // All records back to the defaults; every device starts a new plug cycle.
    // Hold a Lock.
    void resetDevices();

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
    static void setDefaults(DeviceRecord &r);

    DeviceRecord local_[SIM_MAX_DEVICES] = {};
    DeviceRecord *records_ = local_;
    HANDLE mutex_ = nullptr;
    HANDLE mapping_ = nullptr;
    Section *section_ = nullptr;
    std::chrono::steady_clock::time_point loaded_; // the local drift clock's start
};

} // namespace vornsim
