// Stress test of the frame publication latch, built for ThreadSanitizer.
//
// Writers publish self-consistent frames as fast as they can: every byte of
// frame k follows from k (bytes 0..3 hold k itself), and the speed table is
// derived from the frame. Readers take whole copies through StatusLatch::read
// and readings through readMeter, and check that no read ever mixes two
// frames. A first phase has the poller's single writer, a second phase adds
// a host thread calling readFromVorn as a second writer; the two take turns
// on a mutex, as the plug-in's writers take turns on its publication lock
// (the latch itself serves one writer at a time). Each phase is bounded in
// time and in iterations.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/meterCore.h"

namespace {

using Clock = std::chrono::steady_clock;

// Fan duty and maximum-speed word of frame k. Neighbouring frames alternate
// between two regimes, 100 % of a speed around 2400 RPM and 50 % of one
// around 8700 RPM, so that a duty of one frame with the speed of another
// gives a reading that no single frame can give (see rpmFitsSomeFrame).
constexpr int kFullDuty = 50; // 2-percent steps
constexpr int kHalfDuty = 25;
constexpr int kFullWordBase = 200;
constexpr int kHalfWordBase = 800;
constexpr int kWordSpread = 64;

bool halfRegime(uint32_t k, int fan)
{
    return ((k + static_cast<uint32_t>(fan)) & 1u) != 0;
}

int speedWord(uint32_t k, int fan)
{
    const int base = halfRegime(k, fan) ? kHalfWordBase : kFullWordBase;
    return base + static_cast<int>(((k >> 1) + 3u * static_cast<uint32_t>(fan)) % kWordSpread);
}

uint8_t patternByte(uint32_t k, int offset)
{
    if (offset < 4)
        return static_cast<uint8_t>(k >> (8 * offset));
    if (offset >= kFanDutyOffset && offset < kFanDutyOffset + kFanCount)
        return halfRegime(k, offset - kFanDutyOffset) ? kHalfDuty : kFullDuty;
    if (offset >= kMaxRpmRawOffset && offset < kMaxRpmRawOffset + 2 * kFanCount) {
        const int fan = (offset - kMaxRpmRawOffset) / 2;
        const int word = speedWord(k, fan);
        return static_cast<uint8_t>((offset - kMaxRpmRawOffset) % 2 == 0 ? word & 0xFF : word >> 8);
    }
    // 131 is odd: any two frames less than 256 apart differ in every byte.
    return static_cast<uint8_t>(k * 131u + static_cast<uint32_t>(offset) * 17u);
}

void makeFrame(uint32_t k, uint8_t frame[kStatusFrameSize])
{
    for (int i = 0; i < kStatusFrameSize; ++i)
        frame[i] = patternByte(k, i);
}

uint32_t frameNumber(const uint8_t *frame)
{
    return static_cast<uint32_t>(frame[0]) | static_cast<uint32_t>(frame[1]) << 8 |
           static_cast<uint32_t>(frame[2]) << 16 | static_cast<uint32_t>(frame[3]) << 24;
}

// Empty when frame and table are frame k's and its own speeds; otherwise a
// description of the first mismatch.
std::string inconsistency(const uint8_t frame[kStatusFrameSize], const int32_t table[kFanCount])
{
    const uint32_t k = frameNumber(frame);
    for (int i = 0; i < kStatusFrameSize; ++i) {
        if (frame[i] != patternByte(k, i))
            return "frame " + std::to_string(k) + ": byte " + std::to_string(i) + " is " + std::to_string(frame[i]) +
                   ", not " + std::to_string(patternByte(k, i));
    }
    int32_t derived[kFanCount];
    deriveMaxRpm(frame, derived);
    for (int fan = 0; fan < kFanCount; ++fan) {
        if (table[fan] != derived[fan])
            return "frame " + std::to_string(k) + ": speed table entry " + std::to_string(fan) + " is " +
                   std::to_string(table[fan]) + ", the frame gives " + std::to_string(derived[fan]);
    }
    return {};
}

// The current speed of a fan as frame k gives it: 2 * duty * maximum / 100.
int32_t rpmOfFrame(uint32_t k, int fan)
{
    const int duty = halfRegime(k, fan) ? kHalfDuty : kFullDuty;
    const int32_t maxRpm = speedWord(k, fan) * 21 / 2;
    return 2 * duty * maxRpm / 100;
}

// Whether some consistent frame gives this current speed.
bool rpmFitsSomeFrame(int32_t rpm)
{
    for (int step = 0; step < kWordSpread; ++step) {
        if (rpm == 2 * kFullDuty * ((kFullWordBase + step) * 21 / 2) / 100 ||
            rpm == 2 * kHalfDuty * ((kHalfWordBase + step) * 21 / 2) / 100)
            return true;
    }
    return false;
}

struct Failures {
    std::atomic<int> count{0};

    void report(const std::string &what)
    {
        if (count.fetch_add(1) < 5)
            std::fprintf(stderr, "FAIL: %s\n", what.c_str());
    }
};

Failures failures;

struct Snapshot {
    uint8_t frame[kStatusFrameSize];
    int32_t table[kFanCount];
};

Snapshot takeSnapshot(const StatusLatch &latch)
{
    return latch.read([](const StatusLatch::Copy &c) {
        Snapshot s;
        for (int i = 0; i < kStatusFrameSize; ++i)
            s.frame[i] = c.frame[i].load(std::memory_order_relaxed);
        for (int fan = 0; fan < kFanCount; ++fan)
            s.table[fan] = c.maxRpm(fan);
        return s;
    });
}

struct ReaderStats {
    long reads = 0;
    long frameChanges = 0; // reads during which a newer frame appeared
    long unbracketed = 0;  // meter readings too far apart to check against each frame
};

struct PhaseResult {
    long publications = 0;
    long reads = 0;
    long frameChanges = 0;
    long unbracketed = 0;
};

// Checks meter readings taken between two snapshots. With one writer the
// frames a reader sees only move forward, so the reading must be that of a
// frame in [before, after]; with two writers only the regime test applies.
class ReaderCheck {
public:
    ReaderCheck(bool singleWriter, ReaderStats &stats) : singleWriter_(singleWriter), stats_(stats) {}

    uint32_t snapshot(const StatusLatch &latch)
    {
        const Snapshot s = takeSnapshot(latch);
        const std::string problem = inconsistency(s.frame, s.table);
        if (!problem.empty())
            failures.report("StatusLatch::read mixed frames: " + problem);
        const uint32_t k = frameNumber(s.frame);
        if (singleWriter_ && haveLast_ && k < last_)
            failures.report("frame " + std::to_string(k) + " read after frame " + std::to_string(last_));
        if (haveLast_ && k != last_)
            ++stats_.frameChanges;
        last_ = k;
        haveLast_ = true;
        ++stats_.reads;
        return k;
    }

    template <class Expected>
    void bracket(uint32_t before, uint32_t after, const char *what, int32_t reading, Expected expected)
    {
        if (!singleWriter_)
            return;
        if (after - before > 4096) {
            ++stats_.unbracketed;
            return;
        }
        for (uint32_t k = before;; ++k) {
            if (expected(k) == reading)
                return;
            if (k == after)
                break;
        }
        failures.report(std::string(what) + " read " + std::to_string(reading) + ", which no frame in " +
                        std::to_string(before) + ".." + std::to_string(after) + " gives");
    }

private:
    bool singleWriter_;
    ReaderStats &stats_;
    uint32_t last_ = 0;
    bool haveLast_ = false;
};

void readerLoop(const StatusLatch &latch, const std::atomic<const char *> &lastError, const std::atomic<bool> &stop,
                bool singleWriter, long maxReads, ReaderStats &stats)
{
    static const char *const kFanText[kFanCount] = {"0", "1", "2", "3"};
    ReaderCheck check(singleWriter, stats);
    uint32_t before = check.snapshot(latch);
    int valueIndex = 1;
    for (long n = 0; n < maxReads && !stop.load(std::memory_order_relaxed); ++n) {
        char out[64];
        const int fan = static_cast<int>(n % kFanCount);
        const char *result = readMeter(Meter::FanRpm, out, kFanText[fan], lastError, latch);
        if (result != out) {
            failures.report(std::string("FanRpm gave \"") + result + "\"");
            continue;
        }
        const int32_t rpm = static_cast<int32_t>(std::strtol(out, nullptr, 10));
        if (!rpmFitsSomeFrame(rpm))
            failures.report("FanRpm " + std::to_string(fan) + " read " + std::to_string(rpm) +
                            ": duty and speed table of two frames");

        char index[12];
        std::snprintf(index, sizeof index, "%d", valueIndex);
        result = readMeter(Meter::Value, out, index, lastError, latch);
        if (result != out) {
            failures.report(std::string("Value gave \"") + result + "\"");
            continue;
        }
        const int32_t value = static_cast<int32_t>(std::strtol(out, nullptr, 10));

        const uint32_t after = check.snapshot(latch);
        check.bracket(before, after, "FanRpm", rpm, [fan](uint32_t k) { return rpmOfFrame(k, fan); });
        const int offset = valueIndex - 1;
        check.bracket(before, after, "Value", value, [offset](uint32_t k) {
            return static_cast<int32_t>(static_cast<int8_t>(patternByte(k, offset)));
        });
        before = after;
        valueIndex = valueIndex % kStatusFrameSize + 1;
    }
}

PhaseResult runPhase(int writers, int readers, std::chrono::milliseconds duration, long maxPublications, long maxReads)
{
    StatusLatch latch;
    std::atomic<const char *> lastError{nullptr};
    std::atomic<uint32_t> nextFrame{1};
    std::atomic<bool> stop{false};
    std::atomic<long> publications{0};
    std::mutex writerTurn;

    // Readers only ever see consistent frames: frame 0 goes in first.
    {
        uint8_t frame[kStatusFrameSize];
        int32_t table[kFanCount];
        makeFrame(0, frame);
        deriveMaxRpm(frame, table);
        latch.publish(frame, table);
    }

    std::vector<std::thread> threads;
    for (int w = 0; w < writers; ++w) {
        threads.emplace_back([&] {
            uint8_t frame[kStatusFrameSize];
            int32_t table[kFanCount];
            long mine = 0;
            while (!stop.load(std::memory_order_relaxed) && mine < maxPublications) {
                makeFrame(nextFrame.fetch_add(1, std::memory_order_relaxed), frame);
                deriveMaxRpm(frame, table);
                {
                    std::lock_guard<std::mutex> turn(writerTurn);
                    latch.publish(frame, table);
                }
                ++mine;
            }
            publications.fetch_add(mine);
        });
    }
    std::vector<ReaderStats> stats(static_cast<size_t>(readers));
    for (int r = 0; r < readers; ++r) {
        threads.emplace_back(
            [&, r] { readerLoop(latch, lastError, stop, writers == 1, maxReads, stats[static_cast<size_t>(r)]); });
    }

    const auto deadline = Clock::now() + duration;
    while (Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    stop = true;
    for (std::thread &t : threads)
        t.join();

    // Whatever the writers' order, the latch ends with one whole frame.
    const Snapshot last = takeSnapshot(latch);
    const std::string problem = inconsistency(last.frame, last.table);
    if (!problem.empty())
        failures.report("after the writers stopped: " + problem);

    PhaseResult result;
    result.publications = publications.load();
    for (const ReaderStats &s : stats) {
        result.reads += s.reads;
        result.frameChanges += s.frameChanges;
        result.unbracketed += s.unbracketed;
    }
    return result;
}

// The checks above must see a mix when there is one: try them on frames
// mixed by hand before trusting a quiet stress run.
bool checksCatchMixedFrames()
{
    bool ok = true;
    auto expect = [&ok](bool condition, const char *what) {
        if (!condition) {
            std::fprintf(stderr, "FAIL: self-check: %s\n", what);
            ok = false;
        }
    };
    uint8_t frame[kStatusFrameSize], next[kStatusFrameSize];
    int32_t table[kFanCount], nextTable[kFanCount];
    for (uint32_t k : {0u, 1u, 254u, 255u, 1000u, 65535u, 0xFFFFFFFEu}) {
        makeFrame(k, frame);
        makeFrame(k + 1, next);
        deriveMaxRpm(frame, table);
        deriveMaxRpm(next, nextTable);
        expect(inconsistency(frame, table).empty(), "a whole frame passes");
        for (int i = 4; i < kStatusFrameSize; ++i) {
            uint8_t mixed[kStatusFrameSize];
            std::memcpy(mixed, frame, sizeof mixed);
            mixed[i] = next[i];
            if (inconsistency(mixed, table).empty()) {
                expect(false, "one byte of the next frame is caught");
                break;
            }
        }
        expect(!inconsistency(frame, nextTable).empty(), "the next frame's speed table is caught");
        for (int fan = 0; fan < kFanCount; ++fan) {
            expect(rpmFitsSomeFrame(rpmOfFrame(k, fan)), "a frame's own speed fits");
            const int duty = frame[kFanDutyOffset + fan];
            expect(!rpmFitsSomeFrame(2 * duty * nextTable[fan] / 100), "duty with the next frame's speed is caught");
        }
    }
    return ok;
}

} // namespace

int main()
{
    if (!checksCatchMixedFrames())
        return 1;

    using std::chrono::milliseconds;
    const PhaseResult one = runPhase(1, 3, milliseconds(1000), 2000000, 1000000);
    std::printf("one writer:  %ld publications, %ld reads, %ld saw a newer frame, %ld too far apart to bracket\n",
                one.publications, one.reads, one.frameChanges, one.unbracketed);
    const PhaseResult two = runPhase(2, 3, milliseconds(700), 2000000, 1000000);
    std::printf("two writers: %ld publications, %ld reads, %ld saw a newer frame\n", two.publications, two.reads,
                two.frameChanges);

    // A run in which readers never overlapped a publication proves nothing.
    for (const PhaseResult *phase : {&one, &two}) {
        if (phase->publications < 100 || phase->reads < 100 || phase->frameChanges == 0)
            failures.report("too little overlap between readers and writers to be a test");
    }
    if (failures.count.load() != 0) {
        std::fprintf(stderr, "%d failure(s)\n", failures.count.load());
        return 1;
    }
    std::printf("no read mixed two frames\n");
    return 0;
}
