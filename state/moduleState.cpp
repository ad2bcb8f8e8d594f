#include "state/moduleState.h"

StatusLatch statusFrame;
std::atomic<const char *> lastError{nullptr};
FT_HANDLE deviceHandle = nullptr;
std::atomic<int32_t> deviceNumber{0};
std::atomic<HANDLE> pollThread{nullptr};
std::atomic<HWND> hostWindow{nullptr};
HINSTANCE moduleInstance = nullptr;

namespace {

// Writers of the frame take turns: the poller, and a host thread calling
// readFromVorn. A publication is a few hundred stores; readers never take
// this lock. Should the unload stop the poller inside a publication, the lock
// goes with the module.
SRWLOCK publishLock = SRWLOCK_INIT;

} // namespace

void publishStatusFrame(const uint8_t frame[kStatusFrameSize])
{
    int32_t maxRpm[kFanCount];
    deriveMaxRpm(frame, maxRpm);
    AcquireSRWLockExclusive(&publishLock);
    statusFrame.publish(frame, maxRpm);
    ReleaseSRWLockExclusive(&publishLock);
}

void startModuleState()
{
    const uint8_t zeroFrame[kStatusFrameSize] = {};
    publishStatusFrame(zeroFrame);
    deviceHandle = nullptr;
    lastError.store(nullptr);
}
