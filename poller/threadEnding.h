// Ending the poller thread without letting it run this module's code again:
// a gate, SetEvent(answered) and ExitThread, all queued before the thread can
// run the first; a thread that does not answer in time is terminated. Why and
// when: docs/lifecycle.md, "Ending the poller".
#pragma once

#include <windows.h>

class ThreadEnding {
public:
    // Takes over the thread's handle (null: nothing to end).
    explicit ThreadEnding(HANDLE thread);
    // Closes the thread's handle; frees the gate and the event unless the
    // thread may still touch them (it neither answered nor was seen to end).
    ~ThreadEnding();
    ThreadEnding(const ThreadEnding &) = delete;
    ThreadEnding &operator=(const ThreadEnding &) = delete;

    // Queues the exit. Only for a thread outside the bridge library: a call
    // queued there could end it inside the library's own work.
    void askToLeave();

    // True once the thread has answered, waiting until the tick `deadline`.
    bool waitForAnswer(DWORD deadline);

    // A thread that has not answered is terminated and awaited until
    // `deadline`: a terminated thread needs no loader lock to end.
    void stopIfNotAnswered(DWORD deadline);

    // Outside the loader lock only: waits up to waitMs for an answered thread
    // to be gone.
    void awaitExit(DWORD waitMs);

    // True once the thread was seen to end (after stopIfNotAnswered or
    // awaitExit).
    bool ended() const { return ended_; }

    // True when the thread runs none of this module's code any more: there
    // was none, it answered (it is inside ExitThread for good), or it ended.
    bool out() const { return thread_ == nullptr || hasAnswered_ || ended_; }

private:
    HANDLE thread_;
    HANDLE answered_ = nullptr;
    SRWLOCK *gate_ = nullptr;
    bool queued_ = false; // all three calls are pending
    bool hasAnswered_ = false;
    bool ended_ = false;
};

// Milliseconds from now to the tick `deadline`, 0 once it has passed.
DWORD msUntil(DWORD deadline);
