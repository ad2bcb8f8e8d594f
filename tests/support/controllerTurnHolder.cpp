#include "tests/support/controllerTurnHolder.h"

#include "core/controllerLock.h"

ControllerTurnHolder::ControllerTurnHolder()
{
    taken_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    release_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    thread_ = CreateThread(nullptr, 0, hold, this, 0, nullptr);
    held_ = thread_ != nullptr && WaitForSingleObject(taken_, 5000) == WAIT_OBJECT_0;
}

ControllerTurnHolder::~ControllerTurnHolder()
{
    SetEvent(release_);
    if (thread_ != nullptr) {
        WaitForSingleObject(thread_, 10000);
        CloseHandle(thread_);
    }
    CloseHandle(release_);
    CloseHandle(taken_);
}

DWORD WINAPI ControllerTurnHolder::hold(LPVOID argument)
{
    auto *self = static_cast<ControllerTurnHolder *>(argument);
    HANDLE lock = CreateMutexA(nullptr, FALSE, kControllerLockName);
    WaitForSingleObject(lock, INFINITE);
    SetEvent(self->taken_);
    WaitForSingleObject(self->release_, 60000);
    ReleaseMutex(lock);
    CloseHandle(lock);
    return 0;
}
