#include "state/moduleState.h"

StatusLatch statusFrame;
std::atomic<const char *> lastError{nullptr};
FT_HANDLE deviceHandle = nullptr;
std::atomic<int32_t> deviceNumber{0};
std::atomic<HANDLE> pollThread{nullptr};
std::atomic<HWND> hostWindow{nullptr};
HINSTANCE moduleInstance = nullptr;

void publishStatusFrame(const uint8_t frame[kStatusFrameSize])
{
    int32_t maxRpm[kFanCount];
    deriveMaxRpm(frame, maxRpm);
    statusFrame.publish(frame, maxRpm);
}
