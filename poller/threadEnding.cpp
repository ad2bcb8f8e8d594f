#include "poller/threadEnding.h"

#include <cstdint>

namespace {

// The system functions queued on the thread, looked up by name: a host that
// suppresses exports under Control Flow Guard accepts an exported function as
// a call target only once it has been resolved that way.
struct ExitCalls {
    PAPCFUNC takeGate = nullptr;
    PAPCFUNC setAnswered = nullptr;
    PAPCFUNC exitThread = nullptr;

    ExitCalls()
    {
        const HMODULE kernel = GetModuleHandleA("KERNEL32.dll");
        if (kernel == nullptr)
            return;
        // Each takes one pointer-sized argument and returns nothing that
        // matters, as a queued call does.
        takeGate = resolve(kernel, "AcquireSRWLockExclusive");
        setAnswered = resolve(kernel, "SetEvent");
        exitThread = resolve(kernel, "ExitThread");
    }
    static PAPCFUNC resolve(HMODULE module, const char *name)
    {
        return reinterpret_cast<PAPCFUNC>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
    }
    bool complete() const { return takeGate != nullptr && setAnswered != nullptr && exitThread != nullptr; }
};

} // namespace

DWORD msUntil(DWORD deadline)
{
    const auto left = static_cast<int32_t>(deadline - GetTickCount());
    return left > 0 ? static_cast<DWORD>(left) : 0;
}

ThreadEnding::ThreadEnding(HANDLE thread) : thread_(thread)
{
}

ThreadEnding::~ThreadEnding()
{
    if (thread_ == nullptr)
        return;
    // The gate and the event are the thread's to touch until it has answered
    // (it set the event after it passed the gate) or is gone.
    if (hasAnswered_ || ended_) {
        if (answered_ != nullptr)
            CloseHandle(answered_);
        if (gate_ != nullptr)
            HeapFree(GetProcessHeap(), 0, gate_);
    }
    CloseHandle(thread_);
}

void ThreadEnding::askToLeave()
{
    const ExitCalls calls;
    if (thread_ == nullptr || !calls.complete())
        return;
    answered_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    gate_ = static_cast<SRWLOCK *>(HeapAlloc(GetProcessHeap(), 0, sizeof(SRWLOCK)));
    if (answered_ == nullptr || gate_ == nullptr)
        return;
    *gate_ = SRWLOCK_INIT;
    AcquireSRWLockExclusive(gate_);
    // Should a call fail to queue, the answer proves nothing: the thread may
    // run the calls before it and go back to its wait. It is terminated then.
    queued_ = QueueUserAPC(calls.takeGate, thread_, reinterpret_cast<ULONG_PTR>(gate_)) != 0 &&
              QueueUserAPC(calls.setAnswered, thread_, reinterpret_cast<ULONG_PTR>(answered_)) != 0 &&
              QueueUserAPC(calls.exitThread, thread_, 0) != 0;
    ReleaseSRWLockExclusive(gate_);
}

bool ThreadEnding::waitForAnswer(DWORD deadline)
{
    if (!hasAnswered_ && queued_)
        hasAnswered_ = WaitForSingleObject(answered_, msUntil(deadline)) == WAIT_OBJECT_0;
    return hasAnswered_;
}

void ThreadEnding::stopIfNotAnswered(DWORD deadline)
{
    if (thread_ == nullptr || waitForAnswer(GetTickCount()))
        return;
    TerminateThread(thread_, 0);
    ended_ = WaitForSingleObject(thread_, msUntil(deadline)) == WAIT_OBJECT_0;
}

void ThreadEnding::awaitExit(DWORD waitMs)
{
    if (thread_ != nullptr && hasAnswered_)
        ended_ = WaitForSingleObject(thread_, waitMs) == WAIT_OBJECT_0;
}
