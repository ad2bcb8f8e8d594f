#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/meterCore.h"

namespace {

// A frame fed by hand, published with its derived speed table.
class MeterCore : public ::testing::Test {
protected:
    void setByte(int offset, uint8_t value)
    {
        frame_[offset] = value;
        publish();
    }
    void publish()
    {
        int32_t table[kFanCount];
        deriveMaxRpm(frame_, table);
        status_.publish(frame_, table);
    }
    std::string read(Meter meter, const char *parameter)
    {
        char buffer[64];
        std::memset(buffer, 0, sizeof buffer);
        const char *result = readMeter(meter, buffer, parameter, lastError_, status_);
        if (result == buffer)
            return std::string("=") + buffer; // the reading, written into the buffer
        return result;
    }
    void setMaxRpmWord(int fan, int16_t word)
    {
        frame_[kMaxRpmRawOffset + 2 * fan] = static_cast<uint8_t>(word & 0xFF);
        frame_[kMaxRpmRawOffset + 2 * fan + 1] = static_cast<uint8_t>((word >> 8) & 0xFF);
        publish();
    }

    uint8_t frame_[kStatusFrameSize] = {};
    StatusLatch status_;
    std::atomic<const char *> lastError_{nullptr};
};

} // namespace

TEST_F(MeterCore, ZeroFrameReadsZero)
{
    EXPECT_EQ(read(Meter::DigitalTemp, "0"), "= 0.0");
    EXPECT_EQ(read(Meter::AnalogTemp, "5"), "= 0.0");
    for (Meter m : {Meter::FanRpm, Meter::FanPercentage, Meter::FanMaxRpm, Meter::FanManualMode})
        EXPECT_EQ(read(m, "3"), "=0");
    EXPECT_EQ(read(Meter::Value, "285"), "=0");
}

TEST_F(MeterCore, WorkedExamples)
{
    setByte(240, 0x3D);
    EXPECT_EQ(read(Meter::DigitalTemp, "2"), "=30.5");
    setByte(238, 0x0A);
    EXPECT_EQ(read(Meter::DigitalTemp, "0"), "= 5.0");
    setByte(238, 0xF6);
    EXPECT_EQ(read(Meter::DigitalTemp, " 0"), "=-5.0");
    setByte(251, 0x80);
    EXPECT_EQ(read(Meter::AnalogTemp, "5"), "=-64.0");
    setByte(247, 0x01);
    EXPECT_EQ(read(Meter::AnalogTemp, "1"), "= 0.5");
    setByte(138, 0x23);
    EXPECT_EQ(read(Meter::FanPercentage, "1"), "=70");
    setByte(137, 0x96);
    EXPECT_EQ(read(Meter::FanPercentage, "0"), "=-212");
    setMaxRpmWord(2, 200);
    EXPECT_EQ(read(Meter::FanMaxRpm, "2"), "=2100");
    setMaxRpmWord(0, 200);
    setByte(137, 0x23);
    EXPECT_EQ(read(Meter::FanRpm, "0"), "=1470");
    setMaxRpmWord(3, 192); // 2016, and 2 * 33 * 2016 / 100 = 1330.56
    setByte(140, 0x21);
    EXPECT_EQ(read(Meter::FanRpm, "3"), "=1330");
    setMaxRpmWord(1, 193); // 2026.5 gives 2026
    setByte(138, 0xFF);    // -2 % of 2026 = -40.52: toward zero
    EXPECT_EQ(read(Meter::FanRpm, "1"), "=-40");
    setByte(104, 0x01);
    EXPECT_EQ(read(Meter::FanManualMode, "3"), "=1");
    setByte(104, 0xFF);
    EXPECT_EQ(read(Meter::FanManualMode, "3"), "=-1");
    setByte(284, 0xC8);
    EXPECT_EQ(read(Meter::Value, "285"), "=-56");
    setByte(199, 0x7F);
    EXPECT_EQ(read(Meter::Value, "200"), "=127");
    setByte(0, 0x81);
    EXPECT_EQ(read(Meter::Value, "1"), "=-127");
}

TEST_F(MeterCore, FanSpeedFromAHandFedTable)
{
    frame_[137] = 0x23;
    frame_[138] = 0xFF;
    frame_[140] = 0x21;
    const int32_t table[kFanCount] = {2100, 2017, 2100, 2017};
    status_.publish(frame_, table);
    EXPECT_EQ(read(Meter::FanRpm, "0"), "=1470");
    EXPECT_EQ(read(Meter::FanRpm, "3"), "=1331");
    EXPECT_EQ(read(Meter::FanRpm, "1"), "=-40"); // -40.34 toward zero
    EXPECT_EQ(read(Meter::FanMaxRpm, "2"), "=2100");
}

TEST_F(MeterCore, FanSpeedEqualsIntegerQuotientForEveryDutyAndTableValue)
{
    // For every speed the frame can encode and every duty byte, the meter's
    // integer quotient is the product times 0.01 in double, truncated.
    StatusLatch status;
    for (int word = INT16_MIN; word <= INT16_MAX; word += 97) {
        for (int duty = -128; duty <= 127; duty += 5) {
            uint8_t frame[kStatusFrameSize] = {};
            frame[kMaxRpmRawOffset] = static_cast<uint8_t>(word & 0xFF);
            frame[kMaxRpmRawOffset + 1] = static_cast<uint8_t>((word >> 8) & 0xFF);
            frame[kFanDutyOffset] = static_cast<uint8_t>(duty);
            int32_t table[kFanCount];
            deriveMaxRpm(frame, table);
            status.publish(frame, table);
            char buffer[16];
            ASSERT_EQ(readMeter(Meter::FanRpm, buffer, "0", lastError_, status), buffer);
            const double product = 2.0 * duty * table[0];
            ASSERT_EQ(std::to_string(static_cast<int32_t>(product * 0.01)), buffer) << word << " " << duty;
        }
    }
}

TEST_F(MeterCore, RangeChecksUseSignedIndexes)
{
    EXPECT_EQ(read(Meter::DigitalTemp, ""), "= 0.0"); // empty text reads sensor 0
    EXPECT_EQ(read(Meter::DigitalTemp, "8"), "Invalid sensor index");
    EXPECT_EQ(read(Meter::DigitalTemp, "-1"), "Invalid sensor index");
    EXPECT_EQ(read(Meter::DigitalTemp, "7"), "= 0.0");
    EXPECT_EQ(read(Meter::AnalogTemp, "6"), "Invalid sensor index");
    for (Meter m : {Meter::FanRpm, Meter::FanPercentage, Meter::FanMaxRpm, Meter::FanManualMode}) {
        EXPECT_EQ(read(m, "4"), "Invalid fan index");
        EXPECT_EQ(read(m, "-1"), "Invalid fan index");
        EXPECT_EQ(read(m, "4294967296"), "=0"); // wraps to fan 0
    }
    EXPECT_EQ(read(Meter::Value, ""), "Invalid value index");
    EXPECT_EQ(read(Meter::Value, "0"), "Invalid value index");
    EXPECT_EQ(read(Meter::Value, "286"), "Invalid value index");
    EXPECT_EQ(read(Meter::Value, "2147483648"), "Invalid value index"); // reads as negative
}

TEST_F(MeterCore, RangeMessageComesBeforeErrorTextAndNeitherTouchesTheBuffer)
{
    static const char kError[] = "FT_Read: Didn't get all the data.";
    lastError_ = kError;
    char canary[64];
    std::memset(canary, 0x5A, sizeof canary);
    char buffer[64];
    std::memcpy(buffer, canary, sizeof buffer);

    EXPECT_STREQ(readMeter(Meter::Value, buffer, "0", lastError_, status_), "Invalid value index");
    EXPECT_STREQ(readMeter(Meter::DigitalTemp, buffer, "9", lastError_, status_), "Invalid sensor index");
    // In range: the very error pointer comes back.
    EXPECT_EQ(readMeter(Meter::FanRpm, buffer, "1", lastError_, status_), kError);
    EXPECT_EQ(readMeter(Meter::Value, buffer, "1", lastError_, status_), kError);
    EXPECT_EQ(std::memcmp(buffer, canary, sizeof buffer), 0);

    lastError_ = nullptr;
    EXPECT_EQ(readMeter(Meter::FanRpm, buffer, "1", lastError_, status_), buffer);
}

TEST_F(MeterCore, NullPointersNeverCrash)
{
    // A null parameter reads as the empty text; a null buffer gets a message.
    EXPECT_EQ(read(Meter::FanPercentage, nullptr), "=0");
    EXPECT_EQ(read(Meter::Value, nullptr), "Invalid value index");
    EXPECT_STREQ(readMeter(Meter::DigitalTemp, nullptr, "1", lastError_, status_), "No output buffer");
    EXPECT_STREQ(readMeter(Meter::DigitalTemp, nullptr, "9", lastError_, status_), "Invalid sensor index");
}

TEST_F(MeterCore, HighBytesReadNegativeEverywhere)
{
    std::fill(std::begin(frame_), std::end(frame_), 0x80);
    publish();
    EXPECT_EQ(read(Meter::DigitalTemp, "7"), "=-64.0");
    EXPECT_EQ(read(Meter::AnalogTemp, "0"), "=-64.0");
    EXPECT_EQ(read(Meter::FanPercentage, "2"), "=-256");
    EXPECT_EQ(read(Meter::FanManualMode, "0"), "=-128");
    EXPECT_EQ(read(Meter::Value, "149"), "=-128");
    EXPECT_EQ(read(Meter::FanMaxRpm, "0"), "=-342720"); // word 0x8080
}
