#include "controller/deviceLock.h"

#include <atomic>

#include "controller/controllerMutex.h"

namespace {

std::atomic<HANDLE> deviceLock{nullptr};

HANDLE createLock()
{
    // Neither name to be had (another kind of object holds both): a lock of
    // this process alone still keeps the poller and the fan command apart.
    const HANDLE shared = openControllerMutex().handle;
    return shared != nullptr ? shared : CreateMutexA(nullptr, FALSE, nullptr);
}

bool taken(DWORD result)
{
    // An abandoned mutex is ours now: its last holder died holding it.
    return result == WAIT_OBJECT_0 || result == WAIT_ABANDONED;
}

} // namespace

bool openDeviceLock()
{
    if (deviceLock.load() != nullptr)
        return true;
    HANDLE lock = createLock();
    if (lock == nullptr)
        return false;
    HANDLE expected = nullptr;
    if (!deviceLock.compare_exchange_strong(expected, lock))
        CloseHandle(lock); // another host thread was quicker
    return true;
}

void closeDeviceLock()
{
    HANDLE lock = deviceLock.exchange(nullptr);
    if (lock != nullptr)
        CloseHandle(lock);
}

bool acquireDevice(DWORD timeoutMs)
{
    if (!openDeviceLock())
        return true;
    return taken(WaitForSingleObject(deviceLock.load(), timeoutMs));
}

bool acquireDeviceAlertable(DWORD timeoutMs)
{
    HANDLE lock = deviceLock.load();
    if (lock == nullptr)
        return true;
    const DWORD start = GetTickCount();
    for (;;) {
        const DWORD elapsed = GetTickCount() - start;
        const DWORD result = WaitForSingleObjectEx(lock, elapsed < timeoutMs ? timeoutMs - elapsed : 0, TRUE);
        // A queued call that returned (none of ours does) only resumes the wait.
        if (result != WAIT_IO_COMPLETION)
            return taken(result);
    }
}

void releaseDevice()
{
    HANDLE lock = deviceLock.load();
    if (lock != nullptr)
        ReleaseMutex(lock);
}
