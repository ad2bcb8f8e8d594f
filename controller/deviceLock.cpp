#include "controller/deviceLock.h"

#include <atomic>

namespace {

std::atomic<HANDLE> deviceLock{nullptr};

HANDLE createLock()
{
    HANDLE lock = CreateMutexA(nullptr, FALSE, kControllerLockName);
    // Another kind of object under that name (ERROR_INVALID_HANDLE), or no
    // right to it: a lock of this process alone is better than none.
    return lock != nullptr ? lock : CreateMutexA(nullptr, FALSE, nullptr);
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
