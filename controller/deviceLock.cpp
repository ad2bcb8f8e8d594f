#include "controller/deviceLock.h"

#include <atomic>
#include <cstdint>

// The lock is a handful of words in this module's data: the tick at which the
// present holder took the device, and a small table in which every waiter
// enters its arrival number. A waiter looks every millisecond; the device
// goes to the waiter the table puts first (the poller, else the lowest
// arrival number), by a compare-and-swap on the holder's tick, which alone
// decides who holds it. Releasing clears the tick; nobody needs waking.
//
// Why waiters look rather than sleep on a condition variable: the unload
// stops the poller with TerminateThread, possibly while it waits here. A slim
// lock or a condition variable may keep its queue of waiters in the waiting
// threads' own stacks, and a thread killed in the queue leaves the lock
// pointing into a stack that is gone. A waiter that only reads and writes
// these words, and sleeps in Sleep, can be killed anywhere without harm:
// - killed while waiting, its entry stays in the table; the others pass over
//   an entry that has not looked for kPresumedGoneMs, so they lose that
//   long once, never the device;
// - killed while holding the device, the holder's tick stays set, and every
//   waiter gives up after its bound as it would behind any overlong holder;
// - the unload discards the whole state with the module: a later load starts
//   from the zeroed words in the image, whatever the last one left.
// Looking every millisecond costs nothing next to a serial exchange of a
// millisecond (a command) or 150 ms (a poll cycle).

namespace {

// GetTickCount() of the holder's acquisition, never 0; 0 while free.
std::atomic<uint32_t> heldSince{0};

// A table entry: free (0), being filled in (kFilling) or a waiter's arrival
// number.
constexpr uint32_t kFree = 0;
constexpr uint32_t kFilling = 0xFFFFFFFFu;

struct Waiter {
    std::atomic<uint32_t> arrival{kFree};
    std::atomic<uint32_t> lookedAt{0}; // tick of the waiter's latest look
    std::atomic<bool> first{false};    // the poller
};

// More than enough for the poller, the unload and every thread of a host.
constexpr int kWaiterSlots = 32;
Waiter waiters[kWaiterSlots];
std::atomic<uint32_t> lastArrival{0};

// An entry whose waiter has not looked for this long is passed over: its
// thread was stopped, or is stalled and takes its turn when it looks again.
constexpr uint32_t kPresumedGoneMs = 1000;

uint32_t tickNow()
{
    const uint32_t now = GetTickCount();
    return now != 0 ? now : 1;
}

// Arrival numbers wrap around; compared as a distance.
bool arrivedBefore(uint32_t a, uint32_t b)
{
    return static_cast<int32_t>(a - b) < 0;
}

uint32_t nextArrival()
{
    for (;;) {
        const uint32_t arrival = lastArrival.fetch_add(1) + 1;
        if (arrival != kFree && arrival != kFilling)
            return arrival;
    }
}

// Enters a waiter into the table; null when every slot is taken.
Waiter *enter(bool first)
{
    const uint32_t arrival = nextArrival();
    for (Waiter &w : waiters) {
        uint32_t expected = kFree;
        if (w.arrival.compare_exchange_strong(expected, kFilling)) {
            w.first.store(first);
            w.lookedAt.store(tickNow());
            w.arrival.store(arrival);
            return &w;
        }
    }
    return nullptr;
}

// True when no waiter that is still looking comes before me.
bool isNext(const Waiter *me, uint32_t now)
{
    const uint32_t mine = me->arrival.load();
    const bool meFirst = me->first.load();
    for (const Waiter &w : waiters) {
        if (&w == me)
            continue;
        const uint32_t arrival = w.arrival.load();
        // Signed: an entry that looked after `now` was taken is not old; one
        // that has not looked for weeks wraps round to a large negative
        // distance and is as gone as one a second old.
        const int32_t sinceLook = static_cast<int32_t>(now - w.lookedAt.load());
        constexpr int32_t kGone = static_cast<int32_t>(kPresumedGoneMs);
        if (arrival == kFree || arrival == kFilling || sinceLook >= kGone || sinceLook <= -kGone)
            continue;
        const bool wFirst = w.first.load();
        if (wFirst && !meFirst)
            return false;
        if (wFirst == meFirst && arrivedBefore(arrival, mine))
            return false;
    }
    return true;
}

bool acquire(DWORD timeoutMs, bool first)
{
    Waiter *me = nullptr;
    const uint32_t started = tickNow();
    for (;;) {
        const uint32_t now = tickNow();
        // Every slot taken (more host threads waiting than the table holds):
        // such a waiter cannot take its turn, so its own wait is what bounds it.
        if (me == nullptr && now - started >= timeoutMs)
            return false;
        if (me == nullptr)
            me = enter(first);
        else
            me->lookedAt.store(now);
        uint32_t since = heldSince.load();
        if (since == 0 && me != nullptr && isNext(me, now)) {
            if (heldSince.compare_exchange_strong(since, now)) {
                me->arrival.store(kFree);
                return true;
            }
        }
        // Read after the holder's tick: a holder that took the device a
        // moment ago never looks as if it had held it for ages.
        if (since != 0 && static_cast<int32_t>(tickNow() - since) >= static_cast<int32_t>(timeoutMs)) {
            if (me != nullptr)
                me->arrival.store(kFree);
            return false;
        }
        // The poller waits alertably, as in its other waits, so that an unload
        // that holds the device can still end it with its queued ExitThread
        // (see poller/pollerLifecycle.h); its entry here is then passed over.
        // A host's thread waits plainly: its own queued calls are not ours to run.
        SleepEx(1, first ? TRUE : FALSE);
    }
}

} // namespace

bool acquireDevice(DWORD timeoutMs)
{
    return acquire(timeoutMs, false);
}

bool acquireDeviceFirst(DWORD timeoutMs)
{
    return acquire(timeoutMs, true);
}

void releaseDevice()
{
    heldSince.store(0);
}

int deviceWaiterCount()
{
    int count = 0;
    for (const Waiter &w : waiters) {
        const uint32_t arrival = w.arrival.load();
        count += arrival != kFree && arrival != kFilling;
    }
    return count;
}
