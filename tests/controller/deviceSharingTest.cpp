// The device shared between VORN.dll's poller and host threads that send fan
// commands without pause, with the simulator answering at the wire rate (a
// poll cycle holds the device ~150 ms, a command about a millisecond). What
// happened is read from the simulator's call log while it happens: when each
// poll read returned, and how long every open-to-close exchange held the
// device.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <map>
#include <vector>

#include "plugin/exports.h"
#include "tests/poller/pollerFixture.h"

namespace {

constexpr char kBusy[] = "SetFanPercentage: Device busy, command not sent.";
constexpr DWORD kIntervalMs = 1000;
// Room for a loaded two-core machine: timer and scheduler lateness.
constexpr DWORD kMarginMs = 1000;

struct Sender {
    SetFanPercentageFn setFan = nullptr;
    const std::atomic<bool> *stop = nullptr;
    const char *fan = "0";
    long calls = 0, busy = 0, otherFailures = 0;
};

DWORD WINAPI senderProc(LPVOID argument)
{
    Sender &s = *static_cast<Sender *>(argument);
    char buffer[16];
    while (!s.stop->load()) {
        const char *result = s.setFan(buffer, s.fan, (s.calls & 1) ? "70" : "30");
        ++s.calls;
        if (result != nullptr && std::strcmp(result, kBusy) == 0)
            ++s.busy;
        else if (result != nullptr)
            ++s.otherFailures;
    }
    return 0;
}

struct Round {
    std::vector<unsigned long> readTimes; // simulator ms at each poll read's return
    unsigned long longestExchangeMs = 0;  // longest open-to-close of anyone
    int lostEntries = 0;                  // log entries overwritten before they were seen
    long calls = 0, busy = 0, otherFailures = 0;
};

class DeviceSharing : public PollerTest {
protected:
    void SetUp() override
    {
        PollerTest::SetUp();
        seedSettings(0, 1);
        sim.setPacing(1);
        start();
        setFan = plugin->get<SetFanPercentageFn>("SetFanPercentage");
        ASSERT_TRUE(waitUntil([&] { return sim.frameCount() > 0; }, 5000));
    }

    // Folds the log entries recorded since the last look into the round.
    void follow(Round &round)
    {
        const int count = sim.logCount();
        for (; seen_ < count; ++seen_) {
            SimLogEntry e;
            if (!sim.logGet(seen_, &e)) {
                ++round.lostEntries;
                continue;
            }
            if (e.op == SIM_OP_OPEN && e.status == 0)
                openedAt_[e.threadId] = e.timeMs;
            if (e.op == SIM_OP_CLOSE && openedAt_.count(e.threadId) != 0)
                round.longestExchangeMs = std::max(round.longestExchangeMs, e.timeMs - openedAt_[e.threadId]);
            if (e.op == SIM_OP_READ && e.count == SIM_FRAME_SIZE)
                round.readTimes.push_back(e.timeMs);
        }
    }

    // Runs `senders` threads sending without pause for windowMs, starting
    // just after a poll read, and follows the log meanwhile.
    Round run(int senders, DWORD windowMs)
    {
        Round round;
        const int frames = sim.frameCount();
        EXPECT_TRUE(waitUntil([&] { return sim.frameCount() != frames; }, 3000));
        seen_ = sim.logCount();
        openedAt_.clear();
        std::atomic<bool> stop{false};
        std::vector<Sender> state(senders);
        std::vector<HANDLE> threads;
        const char *fans[] = {"0", "1", "2", "3"};
        const DWORD start = GetTickCount();
        for (int i = 0; i < senders; ++i) {
            state[i].setFan = setFan;
            state[i].stop = &stop;
            state[i].fan = fans[i % 4];
            threads.push_back(CreateThread(nullptr, 0, senderProc, &state[i], 0, nullptr));
            EXPECT_NE(threads.back(), nullptr);
        }
        const unsigned long logStart = sim.logCount() > 0 ? lastLogTime() : 0;
        while (GetTickCount() - start < windowMs) {
            follow(round);
            Sleep(5);
        }
        const unsigned long logEnd = lastLogTime();
        stop.store(true);
        for (HANDLE t : threads) {
            EXPECT_EQ(WaitForSingleObject(t, 15000), WAIT_OBJECT_0);
            CloseHandle(t);
        }
        follow(round);
        for (const Sender &s : state) {
            round.calls += s.calls;
            round.busy += s.busy;
            round.otherFailures += s.otherFailures;
        }
        // The window's edges count as reads: a starved poller shows it all.
        round.readTimes.insert(round.readTimes.begin(), logStart);
        round.readTimes.push_back(std::max(logEnd, round.readTimes.back()));
        return round;
    }

    unsigned long lastLogTime() const
    {
        SimLogEntry e{};
        sim.logGet(sim.logCount() - 1, &e);
        return e.timeMs;
    }

    static unsigned long longestGap(const Round &round)
    {
        unsigned long gap = 0;
        for (size_t i = 1; i < round.readTimes.size(); ++i)
            gap = std::max(gap, round.readTimes[i] - round.readTimes[i - 1]);
        return gap;
    }

    void expectFairShare(int senders)
    {
        // A test thread held up for a second or more by a loaded machine
        // finds part of the log overwritten (it keeps the latest 4096
        // entries); such a round proves nothing and runs again.
        Round round = run(senders, 4000);
        for (int again = 0; again < 2 && round.lostEntries > 0; ++again)
            round = run(senders, 4000);
        ASSERT_EQ(round.lostEntries, 0) << "the log was overwritten before it was read, three times";
        EXPECT_GT(round.calls, 100) << "the senders hardly got the device";
        // A read follows the previous one after the interval, its own cycle
        // and at most the one command holding the device when it asked.
        const unsigned long bound = kIntervalMs + 2 * round.longestExchangeMs + kMarginMs;
        EXPECT_LE(longestGap(round), bound) << senders << " sender(s), " << round.readTimes.size() - 2
                                            << " reads, longest exchange " << round.longestExchangeMs << " ms";
        // Every exchange ends far within the bound: nobody may hear "busy".
        ASSERT_LT(round.longestExchangeMs, 5000u);
        EXPECT_EQ(round.busy, 0) << "of " << round.calls << " calls";
        EXPECT_EQ(round.otherFailures, 0) << "of " << round.calls << " calls";
    }

    SetFanPercentageFn setFan = nullptr;

private:
    int seen_ = 0;
    std::map<unsigned long, unsigned long> openedAt_; // thread -> time of its open
};

} // namespace

TEST_F(DeviceSharing, PollerKeepsItsPaceBesideOneSenderThenFourThenForty)
{
    expectFairShare(1);
    expectFairShare(4);
    // More senders than a host has threads to spare: each still gets its
    // turn well within the bound, and the poller keeps its pace.
    expectFairShare(40);
}
