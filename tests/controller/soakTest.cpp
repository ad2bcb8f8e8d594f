// The plug-in's device paths under random faults at every step: open, line
// set-up, write, short write, read, short read, unplug. Whatever happens,
// every handle opened is closed exactly once, none is left open, every text
// that comes back is one of the plug-in's own, and every reading comes from
// one complete frame. Seeded: the seed is printed with any failure, and
// VORN_SOAK_SEED replays it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <set>
#include <string>

#include "core/statusFrame.h"
#include "plugin/exports.h"
#include "tests/poller/pollerFixture.h"

namespace {

using CloseFn = decltype(&FT_Close);

const std::set<std::string> kPluginTexts = {
    "FT_OpenEx: Can't open requested device.",
    "FT_SetBaudRate: Cant't set baud to 19200.",
    "FT_SetDataCharacteristics: Can't set 8 bit, 1 stop, no parity.",
    "FT_SetTimeouts: Can't set a 3 second timeout.",
    "FT_Write: Can't send SER_Request command.",
    "FT_Read: Can't read data from VORN.",
    "FT_Read: Didn't get all the data.",
    "FT_Write: Can't send SER_SET command.",
    "SetFanPercentage: Device busy, command not sent.",
};

bool isNumber(const std::string &text)
{
    size_t i = text.size() > 0 && text[0] == '-' ? 1 : 0;
    if (i == text.size())
        return false;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
    }
    return true;
}

std::set<std::string> consistentFanSpeeds()
{
    std::set<std::string> speeds;
    for (int g = 0; g < 256; ++g) {
        const int16_t word = static_cast<int16_t>(g | (g << 8));
        const int32_t maxRpm = static_cast<int32_t>(word * 10.5);
        const int64_t product = static_cast<int64_t>(2 * static_cast<int8_t>(g)) * maxRpm;
        speeds.insert(std::to_string(static_cast<int32_t>(product * 0.01)));
    }
    return speeds;
}

unsigned soakSeed()
{
    const char *fixed = std::getenv("VORN_SOAK_SEED");
    return fixed != nullptr ? static_cast<unsigned>(std::strtoul(fixed, nullptr, 10)) : GetTickCount();
}

class Soak : public PollerTest {
protected:
    // One random fault, or none, for the next device operation(s).
    void injectRandomFault(std::mt19937 &random)
    {
        switch (random() % 12) {
        case 0:
            sim.failNext(SIM_OP_OPEN, 0);
            break;
        case 1:
            sim.failNext(SIM_OP_SET_BAUD_RATE, 0);
            break;
        case 2:
            sim.failNext(SIM_OP_SET_DATA_CHARACTERISTICS, 0);
            break;
        case 3:
            sim.failNext(SIM_OP_SET_TIMEOUTS, 0);
            break;
        case 4:
            sim.failNext(SIM_OP_WRITE, 0);
            break;
        case 5:
            sim.shortWrite(static_cast<int>(random() % 2), 1);
            break;
        case 6:
            sim.failNext(SIM_OP_READ, 0);
            break;
        case 7:
            sim.shortRead(static_cast<int>(random() % 285), 1);
            break;
        case 8:
            sim.unplug(0);
            break;
        default:
            break; // no fault
        }
    }

    // Every meter answers with one of the plug-in's texts or from one
    // complete frame: under the frame generator every byte of a reply is the
    // same, so the fan speed (duty times the maximum speed, read together)
    // can only take the values a single such frame gives.
    void checkMeters(const std::set<std::string> &consistentSpeeds)
    {
        const std::string value = meter("GetValue", "1");
        if (!isNumber(value)) {
            EXPECT_EQ(kPluginTexts.count(value), 1u) << value;
        }
        const std::string rpm = meter("GetFanRPM", "2");
        if (isNumber(rpm)) {
            EXPECT_EQ(consistentSpeeds.count(rpm), 1u) << "a speed from two frames: " << rpm;
        } else {
            EXPECT_EQ(kPluginTexts.count(rpm), 1u) << rpm;
        }
    }
};

} // namespace

TEST_F(Soak, RandomFaultsAtEveryStep)
{
    const unsigned seed = soakSeed();
    SCOPED_TRACE("VORN_SOAK_SEED=" + std::to_string(seed));
    std::mt19937 random(seed);
    const std::set<std::string> consistentSpeeds = consistentFanSpeeds();

    sim.setFrameGenerator(1);
    seedSettings(0, 1);
    start(); // a real poller cycles once a second throughout
    auto openConnection = plugin->get<OpenConnectionFn>("openConnection");
    auto readFromVorn = plugin->get<ReadFromVornFn>("readFromVorn");
    auto setFan = plugin->get<SetFanPercentageFn>("SetFanPercentage");
    auto ftClose =
        reinterpret_cast<CloseFn>(reinterpret_cast<void (*)()>(GetProcAddress(simulatorModule_, MAKEINTRESOURCEA(2))));

    const DWORD startedAt = GetTickCount();
    int sequences = 0, good = 0;
    // At least 3000 sequences, and long enough for a few real poll cycles
    // to meet the faults too.
    for (;;) {
        const DWORD elapsed = GetTickCount() - startedAt;
        if ((sequences >= 3000 && elapsed >= 4500) || elapsed >= 20000)
            break;
        if (sequences >= 3000)
            Sleep(2);
        ++sequences;
        injectRandomFault(random);
        if (random() % 3 == 0) {
            char unused[16];
            const std::string fan = std::to_string(random() % 4), percent = std::to_string(random() % 101);
            const char *result = setFan(unused, fan.c_str(), percent.c_str());
            if (result != nullptr) {
                EXPECT_EQ(kPluginTexts.count(result), 1u) << result;
            }
        } else {
            void *handle = nullptr;
            const char *result = openConnection(0, &handle);
            if (result == nullptr) {
                uint8_t frame[kStatusFrameSize];
                result = readFromVorn(handle, frame);
                ftClose(handle);
                if (result == nullptr) {
                    ++good;
                    for (int i = 1; i < kStatusFrameSize; ++i)
                        ASSERT_EQ(frame[i], frame[0]) << "a frame mixing two replies at byte " << i;
                }
            } else {
                EXPECT_EQ(handle, nullptr) << "a failed open left a handle behind";
            }
            if (result != nullptr) {
                EXPECT_EQ(kPluginTexts.count(result), 1u) << result;
            }
        }
        sim.plug(0);
        sim.clearFaults(SIM_OP_ALL);
        sim.shortWrite(0, 0);
        sim.shortRead(0, 0);
        checkMeters(consistentSpeeds);
        if (HasFatalFailure())
            return;
    }
    int pollerCalls = 0;
    for (const SimLogEntry &e : log())
        pollerCalls += e.threadId != GetCurrentThreadId() ? 1 : 0;
    EXPECT_GT(pollerCalls, 0) << "the poller never met the faults";
    unload();
    const SimCounts counts = sim.counts();
    EXPECT_GT(good, sequences / 10) << "the faults left too few good exchanges to mean much";
    EXPECT_GE(counts.framesSent, good);
    EXPECT_EQ(counts.opensOk, counts.closesOk) << "every handle opened is closed exactly once";
    EXPECT_EQ(counts.openHandles, 0);
    EXPECT_EQ(counts.badCloses, 0);
    EXPECT_EQ(counts.badHandleCalls, 0);
    std::printf("soak: %d sequences, %d good exchanges, %d opens, seed %u\n", sequences, good, counts.opensOk, seed);
}
