// What a real controller would share with every process on the machine:
// which positions hold a device, each device's identity and controller state,
// who has it open, and the environment's scenario. In process memory by
// default; in a named shared section guarded by a named mutex in shared mode
// (README: shared mode).
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "simulator/controllerModel.h"
#include "simulator/scenario.h"
#include "simulator/simControl.h"

namespace vornsim {

// One position on the bus.
struct DeviceRecord {
    int32_t plugged;    // 1: a device sits at this position
    uint32_t plugCycle; // bumped by every unplug and reset: older handles are stale
    ControllerState controller;
    int32_t kind;         // SIM_KIND_*
    uint32_t location;    // what the device list shows, with
    char serial[16];      // serial number and description,
    char description[64]; // zero-terminated
    // Who has it open, as the driver refuses every second open: process id,
    // that process's creation time (a reused id is no owner) and its handle.
    uint32_t ownerProcess; // 0: nobody
    uint32_t ownerCreatedLow, ownerCreatedHigh;
    uint32_t ownerHandle;
};
static_assert(sizeof(DeviceRecord) == 144, "DeviceRecord is shared between processes");

// What the device list shows of the device: false for a null or too long
// text. setIdentity: the default identity of a device of `kind` at `position`
// (README: the device list); false for an unknown kind.
bool setInfo(DeviceRecord &r, const char *serial, const char *description, unsigned long location);
bool setIdentity(DeviceRecord &r, int position, int kind);

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

// True while the record's owner is a running process: the driver releases a
// device when its program ends.
bool ownerAlive(const DeviceRecord &r);

// The records, in a fixed layout: a process attaches to a shared section only
// when magic, version and size match the build it is.
struct Section {
    uint32_t magic, version, size, reserved;
    int64_t origin; // system time (100 ns since 1601) when the state was created
    DeviceRecord devices[SIM_MAX_DEVICES];
    Scenario scenario;
};

class SharedState {
public:
    // In the global namespace, as a real controller is one device for every
    // session: a service (session 0) shares it with the user's programs.
    static constexpr const char *kSectionName = "Global\\VornSimulatedController";
    static constexpr const char *kMutexName = "Global\\VornSimulatedControllerLock";
    static constexpr DWORD kLockWaitMs = 2000; // then a caller goes on unguarded rather than hang

    // Sets up the records at load: attaches to (or creates) the shared section
    // when `shared`, else, or when that fails, keeps them in process memory.
    // Fresh records hold a controller at position 0, or one device per word of
    // `layout` (VORNSIM_DEVICES), every controller at its defaults.
    void open(bool shared, const std::string &layout, const Scenario &scenario);
    bool shared() const { return section_ != &local_; }

    // Hold a Lock while reading or changing a record.
    DeviceRecord &device(int position) { return section_->devices[position]; }
    const Scenario &scenario() const { return section_->scenario; }
    // Seconds since the state was created: the clock of drift, ramps and
    // silence, the same for every process that shares the state.
    double seconds() const;

    void resetDevices(); // to the defaults, each in a new plug cycle; hold a Lock
    // Gives up the devices this process holds open, then closes the mutex and
    // section handles (at unload); the view stays mapped until the end.
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
    bool attach();

    Section local_ = {};
    Section *section_ = &local_;
    HANDLE mutex_ = nullptr;
    HANDLE mapping_ = nullptr;
};

} // namespace vornsim
