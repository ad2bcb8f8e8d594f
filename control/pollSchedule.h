// When the polls of a loop that polls at a fixed interval are due (`vornhost
// watch` and `vornhost control`), on an injected clock of milliseconds that
// counts on while the computer sleeps (the host's GetTickCount64). Polls are
// due one interval apart, counted from the due time, so the time a poll
// takes does not add up. A poll that comes late (the computer slept, the
// process was paused) comes at once, and the schedule goes on from it: one
// poll, never a burst that catches up.
#pragma once

#include <cstdint>
#include <functional>

// The longest interval either loop takes: a poll at least once a day.
constexpr long kLongestPollIntervalSeconds = 24 * 60 * 60;

class PollSchedule {
public:
    using Clock = std::function<uint64_t()>;

    // The first poll is due at once.
    PollSchedule(uint64_t intervalMs, Clock clock);

    // How far into the schedule the current poll is due: 0 for the first,
    // then one interval more for each, and the real time elapsed after a
    // late poll.
    uint64_t dueOffsetMs() const { return dueMs_ - startMs_; }

    // The current poll is taken: the next is due one interval later.
    void next() { dueMs_ += intervalMs_; }

    // The current poll is due now (the computer resumed); the schedule goes
    // on from it.
    void resume() { dueMs_ = clock_(); }

    // How long to wait from now until the current poll is due: never more
    // than one interval, whatever the clock did; 0 when it is due, and when
    // it is late, which also moves the schedule to now.
    uint64_t waitMs();

private:
    uint64_t intervalMs_;
    Clock clock_;
    uint64_t startMs_;
    uint64_t dueMs_;
};
