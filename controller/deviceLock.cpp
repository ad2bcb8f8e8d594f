#include "controller/deviceLock.h"

namespace {

// A slim reader/writer lock needs no creation (so it cannot fail to exist)
// and no handle; its one drawback, no timed wait, is made up by polling the
// try-acquire every millisecond, which costs nothing next to a serial
// exchange of 150 ms and more.
SRWLOCK deviceLock = SRWLOCK_INIT;

} // namespace

bool acquireDevice(DWORD timeoutMs)
{
    const DWORD start = GetTickCount();
    for (;;) {
        if (TryAcquireSRWLockExclusive(&deviceLock))
            return true;
        if (GetTickCount() - start >= timeoutMs)
            return false;
        Sleep(1);
    }
}

void releaseDevice()
{
    ReleaseSRWLockExclusive(&deviceLock);
}
