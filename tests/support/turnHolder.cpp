#include "tests/support/turnHolder.h"

#include <sddl.h>

TurnHolder::TurnHolder(const std::string &lockName) : lockName_(lockName)
{
    taken_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    release_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    thread_ = CreateThread(nullptr, 0, hold, this, 0, nullptr);
    held_ = thread_ != nullptr && WaitForSingleObject(taken_, 5000) == WAIT_OBJECT_0;
}

TurnHolder::~TurnHolder()
{
    SetEvent(release_);
    if (thread_ != nullptr) {
        WaitForSingleObject(thread_, 10000);
        CloseHandle(thread_);
    }
    CloseHandle(release_);
    CloseHandle(taken_);
}

DWORD WINAPI TurnHolder::hold(LPVOID argument)
{
    auto *self = static_cast<TurnHolder *>(argument);
    HANDLE lock = CreateMutexA(nullptr, FALSE, self->lockName_.c_str());
    if (lock == nullptr)
        return 1;
    const DWORD won = WaitForSingleObject(lock, 10000);
    if (won == WAIT_OBJECT_0 || won == WAIT_ABANDONED) {
        SetEvent(self->taken_);
        WaitForSingleObject(self->release_, 60000);
        ReleaseMutex(lock);
    }
    CloseHandle(lock);
    return 0;
}

HANDLE createLockGrantingWaitAndReleaseOnly()
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA("D:(D;;0x000F0000;;;WD)(A;;0x00100001;;;WD)",
                                                              SDDL_REVISION_1, &descriptor, nullptr))
        return nullptr;
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, descriptor, FALSE};
    HANDLE lock = CreateMutexA(&attributes, FALSE, kControllerLockName);
    const bool existed = GetLastError() == ERROR_ALREADY_EXISTS;
    LocalFree(descriptor);
    if (lock != nullptr && existed) {
        CloseHandle(lock); // someone else's, under a descriptor of theirs
        lock = nullptr;
    }
    return lock;
}
