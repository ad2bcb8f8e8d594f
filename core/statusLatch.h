// The last complete status frame and the maximum speeds derived from it, as
// the meter functions see them.
//
// The poller publishes a frame while the host's threads format readings from
// the previous one. A reader must never wait for the poller, never allocate,
// and never see bytes of two frames or a speed table of another frame. The
// latch keeps two copies and a sequence number: a writer first moves readers
// to copy 1 (odd sequence) and rewrites copy 0, then moves them back to copy 0
// (even sequence) and rewrites copy 1. A reader picks the copy the sequence
// names, reads, and retries only if a publication completed meanwhile; it
// never spins on a half-written copy. All bytes are atomics accessed relaxed,
// ordered by the fences around the sequence number (plain moves on x86).
// Writers must take turns: the latch serves one writer at a time and leaves
// the exclusion of writers to its owner (in the plug-in a slim lock around
// publishStatusFrame, state/moduleState.cpp), so that this platform-free
// header needs no thread library: std::this_thread or a standard mutex would
// link the threads runtime into the plug-in.
#pragma once

#include <atomic>
#include <cstdint>

#include "core/statusFrame.h"

class StatusLatch {
public:
    struct Copy {
        std::atomic<uint8_t> frame[kStatusFrameSize];
        std::atomic<int32_t> maxRpmTable[kFanCount];

        int8_t byteAt(int offset) const { return static_cast<int8_t>(frame[offset].load(std::memory_order_relaxed)); }
        int32_t maxRpm(int fan) const { return maxRpmTable[fan].load(std::memory_order_relaxed); }
    };

    // Runs reader(const Copy&) on a consistent copy and returns its result.
    // The reader must only load values; it may run more than once.
    template <class Reader>
    auto read(Reader reader) const
    {
        for (;;) {
            const uint32_t before = sequence_.load(std::memory_order_acquire);
            auto result = reader(copies_[before & 1u]);
            std::atomic_thread_fence(std::memory_order_acquire);
            if (sequence_.load(std::memory_order_relaxed) == before)
                return result;
        }
    }

    int8_t byteAt(int offset) const
    {
        return read([offset](const Copy &c) { return c.byteAt(offset); });
    }

    int32_t maxRpm(int fan) const
    {
        return read([fan](const Copy &c) { return c.maxRpm(fan); });
    }

    void copyFrame(uint8_t out[kStatusFrameSize]) const
    {
        read([out](const Copy &c) {
            for (int i = 0; i < kStatusFrameSize; ++i)
                out[i] = c.frame[i].load(std::memory_order_relaxed);
            return 0;
        });
    }

    // Replaces frame and table together. One writer at a time (the caller
    // sees to that); readers are never held up by a writer.
    void publish(const uint8_t frame[kStatusFrameSize], const int32_t maxRpm[kFanCount])
    {
        const uint32_t s = sequence_.load(std::memory_order_relaxed);
        // Release: a reader that sees the odd number turns to copy 1, which the
        // last publication finished writing before this store; without the
        // release order it could find copy 1 as it was before that. The fence
        // then keeps the rewrite of copy 0 behind the odd number.
        sequence_.store(s + 1, std::memory_order_release);
        std::atomic_thread_fence(std::memory_order_release);
        store(copies_[0], frame, maxRpm);
        sequence_.store(s + 2, std::memory_order_release);
        std::atomic_thread_fence(std::memory_order_release);
        store(copies_[1], frame, maxRpm);
    }

private:
    // Writes only what changed: most of a frame is the same from one poll to
    // the next, and untouched cache lines stay shared with the readers.
    static void store(Copy &c, const uint8_t *frame, const int32_t *maxRpm)
    {
        for (int i = 0; i < kStatusFrameSize; ++i) {
            if (c.frame[i].load(std::memory_order_relaxed) != frame[i])
                c.frame[i].store(frame[i], std::memory_order_relaxed);
        }
        for (int fan = 0; fan < kFanCount; ++fan) {
            if (c.maxRpmTable[fan].load(std::memory_order_relaxed) != maxRpm[fan])
                c.maxRpmTable[fan].store(maxRpm[fan], std::memory_order_relaxed);
        }
    }

    std::atomic<uint32_t> sequence_{0};
    Copy copies_[2]{};
};
