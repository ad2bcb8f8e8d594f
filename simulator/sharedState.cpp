#include "sharedState.h"

#include <cstddef>
#include <cstdio>
#include <cstring>

namespace vornsim {

// The shared section. Its layout is fixed: every process that maps it may be
// a different build of this DLL, so a process only attaches when magic,
// version and size all match what it was built with.
struct SharedState::Section {
    uint32_t magic;   // kMagic once the records are initialised
    uint32_t version; // kVersion
    uint32_t size;    // sizeof(Section)
    uint32_t reserved;
    int64_t driftOrigin; // system time (100 ns since 1601) at creation
    DeviceRecord devices[SIM_MAX_DEVICES];
};

namespace {

constexpr uint32_t kMagic = 0x4D495356; // "VSIM"
// Bump when Section, DeviceRecord or ControllerState change layout (the size
// check alone misses a change that keeps the size).
constexpr uint32_t kVersion = 2;

int64_t systemTime()
{
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    return static_cast<int64_t>((static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime);
}

} // namespace

void setIdentity(DeviceRecord &r, int position, int kind)
{
    const bool foreign = kind == SIM_KIND_FOREIGN;
    r.kind = foreign ? SIM_KIND_FOREIGN : SIM_KIND_CONTROLLER;
    r.location = 0x2111 + 0x10 * position;
    std::memset(r.serial, 0, sizeof r.serial);
    std::memset(r.description, 0, sizeof r.description);
    std::snprintf(r.serial, sizeof r.serial, "%s%0*d", foreign ? "FTX" : "VORN", foreign ? 5 : 4, position);
    std::snprintf(r.description, sizeof r.description, "%s", foreign ? "USB Serial Converter" : "Vorncontrol");
}

void SharedState::setDefaults(DeviceRecord &r, int position)
{
    r.plugged = 0;
    ++r.plugCycle; // never reset: handles of the old cycle must stay stale
    setDefaultState(r.controller);
    setIdentity(r, position, SIM_KIND_CONTROLLER);
    r.ownerProcess = r.ownerCreatedLow = r.ownerCreatedHigh = r.ownerHandle = 0;
}

void SharedState::resetDevices()
{
    for (int i = 0; i < SIM_MAX_DEVICES; ++i)
        setDefaults(records_[i], i);
    records_[0].plugged = 1;
}

void SharedState::applyLayout(const char *layout)
{
    records_[0].plugged = 0;
    int position = 0;
    for (const char *word = layout; position < SIM_MAX_DEVICES; ++position) {
        const char *end = std::strchr(word, ',');
        const size_t length = end ? static_cast<size_t>(end - word) : std::strlen(word);
        auto is = [&](const char *name) {
            return std::strlen(name) == length && std::strncmp(word, name, length) == 0;
        };
        if (is("controller") || is("foreign")) {
            setIdentity(records_[position], position, is("foreign") ? SIM_KIND_FOREIGN : SIM_KIND_CONTROLLER);
            records_[position].plugged = 1;
        }
        if (end == nullptr)
            break;
        word = end + 1;
    }
}

void SharedState::releaseOwned()
{
    const ProcessIdentity self = ProcessIdentity::self();
    Lock lock(*this);
    for (int i = 0; i < SIM_MAX_DEVICES; ++i) {
        if (self.owns(records_[i]))
            records_[i].ownerProcess = 0;
    }
}

void SharedState::open(bool shared, const char *layout)
{
    loaded_ = std::chrono::steady_clock::now();
    records_ = local_;
    resetDevices();
    if (layout != nullptr)
        applyLayout(layout);
    if (shared && attach())
        records_ = section_->devices;
}

ProcessIdentity ProcessIdentity::self()
{
    static const ProcessIdentity identity = [] {
        ProcessIdentity p{GetCurrentProcessId(), 0, 0};
        FILETIME created, exited, kernel, user;
        if (GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) {
            p.createdLow = created.dwLowDateTime;
            p.createdHigh = created.dwHighDateTime;
        }
        return p;
    }();
    return identity;
}

bool ownerAlive(const DeviceRecord &r)
{
    if (r.ownerProcess == 0)
        return false;
    const ProcessIdentity self = ProcessIdentity::self();
    if (r.ownerProcess == self.id)
        return self.owns(r);
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, r.ownerProcess);
    if (process == nullptr) // gone, or not ours to look at: then it is alive
        return GetLastError() == ERROR_ACCESS_DENIED;
    DWORD code = 0;
    FILETIME created, exited, kernel, user;
    const bool alive = GetExitCodeProcess(process, &code) && code == STILL_ACTIVE &&
                       GetProcessTimes(process, &created, &exited, &kernel, &user) &&
                       created.dwLowDateTime == r.ownerCreatedLow && created.dwHighDateTime == r.ownerCreatedHigh;
    CloseHandle(process);
    return alive;
}

// Whoever holds the mutex first creates the section and initialises it before
// letting go, so a later process finds it ready. A section of another layout
// (another build) is left alone and this process keeps its own controllers.
bool SharedState::attach()
{
    static_assert(offsetof(Section, driftOrigin) == 16, "fixed layout");
    static_assert(sizeof(Section) == 24 + SIM_MAX_DEVICES * sizeof(DeviceRecord), "fixed layout");
    mutex_ = CreateMutexA(nullptr, FALSE, kMutexName);
    if (!mutex_)
        return false;
    {
        Lock lock(*this);
        mapping_ = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(Section), kSectionName);
        // Mapping more than an existing, smaller section holds fails here.
        void *view = mapping_ ? MapViewOfFile(mapping_, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(Section)) : nullptr;
        Section *s = static_cast<Section *>(view);
        if (s && s->magic == 0) {
            // Fresh pages are zero: this process is the first.
            s->version = kVersion;
            s->size = sizeof(Section);
            s->driftOrigin = systemTime();
            for (int i = 0; i < SIM_MAX_DEVICES; ++i)
                s->devices[i] = local_[i];
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

double SharedState::driftSeconds() const
{
    if (section_)
        return static_cast<double>(systemTime() - section_->driftOrigin) / 1e7;
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - loaded_).count();
}

void SharedState::close()
{
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

} // namespace vornsim
