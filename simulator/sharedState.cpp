#include "simulator/sharedState.h"

#include <cstdio>
#include <cstring>
#include <sstream>

namespace vornsim {

namespace {

constexpr uint32_t kMagic = 0x4D495356; // "VSIM"
// Bump when Section, DeviceRecord, ControllerState or Scenario change layout
// (the size check alone misses a change that keeps the size).
constexpr uint32_t kVersion = 3;

int64_t systemTime()
{
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    return static_cast<int64_t>((static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime);
}

} // namespace

bool setInfo(DeviceRecord &r, const char *serial, const char *description, unsigned long location)
{
    if (!serial || !description || std::strlen(serial) >= sizeof r.serial ||
        std::strlen(description) >= sizeof r.description)
        return false;
    std::memset(r.serial, 0, sizeof r.serial);
    std::memset(r.description, 0, sizeof r.description);
    std::memcpy(r.serial, serial, std::strlen(serial));
    std::memcpy(r.description, description, std::strlen(description));
    r.location = static_cast<uint32_t>(location);
    return true;
}

bool setIdentity(DeviceRecord &r, int position, int kind)
{
    if (kind != SIM_KIND_CONTROLLER && kind != SIM_KIND_FOREIGN)
        return false;
    const bool foreign = kind == SIM_KIND_FOREIGN;
    char serial[16];
    std::snprintf(serial, sizeof serial, foreign ? "FTX%05d" : "VORN%04d", position);
    r.kind = kind;
    return setInfo(r, serial, foreign ? "USB Serial Converter" : "Vorncontrol", 0x2111 + 0x10 * position);
}

void SharedState::resetDevices()
{
    for (int i = 0; i < SIM_MAX_DEVICES; ++i) {
        DeviceRecord &r = device(i);
        r.plugged = i == 0;
        ++r.plugCycle; // never reset: handles of the old cycle must stay stale
        r.controller = kFreshController;
        setIdentity(r, i, SIM_KIND_CONTROLLER);
        r.ownerProcess = r.ownerCreatedLow = r.ownerCreatedHigh = r.ownerHandle = 0;
    }
}

void SharedState::open(bool shared, const std::string &layout, const Scenario &scenario)
{
    local_.version = kVersion;
    local_.size = sizeof(Section);
    local_.origin = systemTime();
    local_.scenario = scenario;
    resetDevices();
    std::istringstream words(layout);
    std::string word;
    for (int p = 0; p < SIM_MAX_DEVICES && std::getline(words, word, ','); ++p) {
        local_.devices[p].plugged = word == "controller" || word == "foreign";
        if (word == "foreign")
            setIdentity(local_.devices[p], p, SIM_KIND_FOREIGN);
    }
    if (shared)
        attach();
}

// Whoever holds the mutex first creates the section and fills it before
// letting go, so a later process finds it ready. A section of another layout
// (another build) is left alone and this process keeps its own controllers.
bool SharedState::attach()
{
    mutex_ = CreateMutexA(nullptr, FALSE, kMutexName);
    if (!mutex_)
        return false;
    {
        Lock lock(*this);
        mapping_ = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(Section), kSectionName);
        // Mapping more than an existing, smaller section holds fails here.
        void *view = mapping_ ? MapViewOfFile(mapping_, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(Section)) : nullptr;
        Section *s = static_cast<Section *>(view);
        if (s && s->magic == 0) { // fresh pages are zero: this process is the first
            *s = local_;
            s->magic = kMagic;
        }
        if (s && s->magic == kMagic && s->version == kVersion && s->size == sizeof(Section)) {
            section_ = s;
            return true;
        }
        if (view)
            UnmapViewOfFile(view);
    }
    close();
    return false;
}

double SharedState::seconds() const
{
    return static_cast<double>(systemTime() - section_->origin) / 1e7;
}

void SharedState::close()
{
    {
        Lock lock(*this);
        for (DeviceRecord &r : section_->devices) {
            if (ProcessIdentity::self().owns(r))
                r.ownerProcess = 0;
        }
    }
    // Forget the mutex before closing it, so that no later Lock waits on a
    // closed (and perhaps reused) handle value.
    HANDLE mutex = mutex_, mapping = mapping_;
    mutex_ = mapping_ = nullptr;
    if (mutex)
        CloseHandle(mutex);
    if (mapping)
        CloseHandle(mapping);
}

SharedState::Lock::Lock(SharedState &s) : mutex_(s.mutex_)
{
    if (!mutex_)
        return;
    // WAIT_ABANDONED: a process died holding it; the records are plain values
    // that stay usable, so carry on as the new owner.
    const DWORD r = WaitForSingleObject(mutex_, kLockWaitMs);
    owned_ = (r == WAIT_OBJECT_0 || r == WAIT_ABANDONED);
}

SharedState::Lock::~Lock()
{
    if (owned_)
        ReleaseMutex(mutex_);
}

// A process as an owner: its id, and its creation time, which tells it from a
// later process with the same id.
ProcessIdentity identityOf(HANDLE process, DWORD id)
{
    ProcessIdentity p{id, 0, 0};
    FILETIME created, exited, kernel, user;
    if (GetProcessTimes(process, &created, &exited, &kernel, &user)) {
        p.createdLow = created.dwLowDateTime;
        p.createdHigh = created.dwHighDateTime;
    }
    return p;
}

ProcessIdentity ProcessIdentity::self()
{
    static const ProcessIdentity identity = identityOf(GetCurrentProcess(), GetCurrentProcessId());
    return identity;
}

bool ownerAlive(const DeviceRecord &r)
{
    if (r.ownerProcess == 0 || r.ownerProcess == ProcessIdentity::self().id)
        return ProcessIdentity::self().owns(r);
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, r.ownerProcess);
    if (process == nullptr) // gone, or not ours to look at: then it is alive
        return GetLastError() == ERROR_ACCESS_DENIED;
    DWORD code = 0;
    const bool alive =
        GetExitCodeProcess(process, &code) && code == STILL_ACTIVE && identityOf(process, r.ownerProcess).owns(r);
    CloseHandle(process);
    return alive;
}

} // namespace vornsim
