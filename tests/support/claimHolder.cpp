#include "tests/support/claimHolder.h"

ClaimHolder::ClaimHolder(const std::string &name) : name_(name)
{
    owned_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    release_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    thread_ = CreateThread(nullptr, 0, own, this, 0, nullptr);
    held_ = thread_ != nullptr && WaitForSingleObject(owned_, 5000) == WAIT_OBJECT_0;
}

ClaimHolder::~ClaimHolder()
{
    SetEvent(release_);
    if (thread_ != nullptr) {
        WaitForSingleObject(thread_, 10000);
        CloseHandle(thread_);
    }
    CloseHandle(release_);
    CloseHandle(owned_);
}

DWORD WINAPI ClaimHolder::own(LPVOID argument)
{
    auto *self = static_cast<ClaimHolder *>(argument);
    HANDLE mutex = CreateMutexA(nullptr, TRUE, self->name_.c_str());
    if (mutex != nullptr && GetLastError() != ERROR_ALREADY_EXISTS)
        SetEvent(self->owned_);
    WaitForSingleObject(self->release_, 60000);
    if (mutex != nullptr) {
        ReleaseMutex(mutex);
        CloseHandle(mutex);
    }
    return 0;
}
