// Whether the computer slept between two looks, from two injected clocks of
// milliseconds: one that counts on while the computer sleeps (the host's
// tick count) and one that stands still meanwhile (its unbiased interrupt
// time). Awake, the two move together; a sleep moves the first ahead of the
// second by its length. A wait's time-out counts only time awake, so a loop
// that looks after each wait (at most a second long) sees a sleep within a
// second of the resume, even when Windows' resume message does not come.
#pragma once

#include <cstdint>
#include <functional>

class ClockJump {
public:
    using Clock = std::function<uint64_t()>;

    // Shorter sleeps than this pass unseen: the two clocks' own jitter stays
    // well below it.
    static constexpr uint64_t kThresholdMs = 2000;

    ClockJump(Clock counting, Clock awake);

    // True when the first clock moved ahead of the second by more than the
    // threshold since the last look (or the start); each look starts anew.
    bool jumped();

private:
    Clock counting_;
    Clock awake_;
    uint64_t lastCounting_;
    uint64_t lastAwake_;
};
