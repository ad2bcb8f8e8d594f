#include <gtest/gtest.h>

#include "core/statusFrame.h"

TEST(DeriveMaxRpm, DecodesSignedLittleEndianWordsTruncatingTowardZero)
{
    uint8_t frame[kStatusFrameSize] = {};
    const uint8_t raw[] = {0xBE, 0x00, 0xBF, 0x00, 0x90, 0x01, 0xFF, 0xFF};
    std::copy(std::begin(raw), std::end(raw), frame + kMaxRpmRawOffset);
    int32_t table[kFanCount] = {7, 7, 7, 7};
    deriveMaxRpm(frame, table);
    EXPECT_EQ(table[0], 1995);
    EXPECT_EQ(table[1], 2005); // 2005.5 loses its half
    EXPECT_EQ(table[2], 4200);
    EXPECT_EQ(table[3], -10); // -10.5 toward zero
}

TEST(DeriveMaxRpm, CoversTheWholeWordRange)
{
    EXPECT_EQ(maxRpmFromWord(0), 0);
    EXPECT_EQ(maxRpmFromWord(INT16_MAX), 344053); // 344053.5
    EXPECT_EQ(maxRpmFromWord(INT16_MIN), -344064);
    EXPECT_EQ(maxRpmFromWord(-3), -31); // -31.5
    for (int w = INT16_MIN; w <= INT16_MAX; ++w) {
        const int32_t twice = 21 * w; // exact 2 * word * 10.5
        ASSERT_EQ(maxRpmFromWord(static_cast<int16_t>(w)), twice / 2) << w;
    }
}

TEST(DeriveMaxRpm, ReadsOnlyTheSpeedBytes)
{
    uint8_t frame[kStatusFrameSize];
    std::fill(std::begin(frame), std::end(frame), 0xFF);
    std::fill(frame + kMaxRpmRawOffset, frame + kMaxRpmRawOffset + 8, 0);
    int32_t table[kFanCount];
    deriveMaxRpm(frame, table);
    for (int32_t entry : table)
        EXPECT_EQ(entry, 0);
}
