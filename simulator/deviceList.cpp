// The bridge library's device list in the simulated FTD2XX.dll.
#include "simulator/simulatorState.h"

using namespace vornsim;

namespace {

// FT_DEVICE_232R, and FTDI's vendor and product id of that chip.
constexpr DWORD kDeviceType = 5;
constexpr DWORD kDeviceId = 0x04036001;

// How many nodes FT_CreateDeviceInfoList last counted for this thread (-1:
// none yet), which the caller sized its array from.
thread_local long lastCountOfThread = -1;

} // namespace

extern "C" {

// A snapshot of the plugged-in devices, numbered in position order. A device
// open in another process shows only its open flag; one open here shows its
// handle and, as the driver does for an open device, no location.
FT_STATUS WINAPI FT_CreateDeviceInfoList(LPDWORD count)
{
    Sim &s = sim();
    if (count == nullptr)
        return SIM_FT_INVALID_PARAMETER;
    std::lock_guard<std::mutex> lock(s.mu);
    // Ports of this process that went stale free their devices first.
    for (auto &port : s.ports)
        s.stale(port.first, port.second);
    SharedState::Lock shared(s.store);
    const ProcessIdentity self = ProcessIdentity::self();
    s.listSnapshot.clear();
    for (int position = 0; position < SIM_MAX_DEVICES; ++position) {
        const DeviceRecord &r = s.store.device(position);
        if (!r.plugged)
            continue;
        FT_DEVICE_LIST_INFO_NODE node{};
        const bool open = ownerAlive(r);
        if (open && !self.owns(r)) {
            node.Flags = FT_FLAGS_OPENED;
        } else {
            node.Flags = open ? static_cast<DWORD>(FT_FLAGS_OPENED) : 0;
            node.Type = kDeviceType;
            node.ID = kDeviceId;
            node.LocId = open ? 0 : r.location;
            std::memcpy(node.SerialNumber, r.serial, sizeof node.SerialNumber);
            std::memcpy(node.Description, r.description, sizeof node.Description);
            node.ftHandle = open ? reinterpret_cast<FT_HANDLE>(static_cast<uintptr_t>(r.ownerHandle)) : nullptr;
        }
        s.listSnapshot.push_back(node);
    }
    *count = static_cast<DWORD>(s.listSnapshot.size());
    lastCountOfThread = static_cast<long>(*count);
    return FT_OK;
}

// Copies the last snapshot and sets `count` to the nodes written: no more
// than this thread's last count, even when another thread has taken a longer
// snapshot since (a thread that took none gets the whole last snapshot).
FT_STATUS WINAPI FT_GetDeviceInfoList(FT_DEVICE_LIST_INFO_NODE *nodes, LPDWORD count)
{
    Sim &s = sim();
    if (nodes == nullptr || count == nullptr)
        return SIM_FT_INVALID_PARAMETER;
    std::lock_guard<std::mutex> lock(s.mu);
    size_t filled = s.listSnapshot.size();
    if (lastCountOfThread >= 0)
        filled = std::min(filled, static_cast<size_t>(lastCountOfThread));
    std::copy(s.listSnapshot.begin(), s.listSnapshot.begin() + filled, nodes);
    *count = static_cast<DWORD>(filled);
    return FT_OK;
}

} // extern "C"
