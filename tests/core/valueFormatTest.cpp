#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <random>

#include "core/valueFormat.h"

// The formatters stand in for "%4.1f" and "%d": they must agree with the C
// library for every value they can be given.
TEST(ValueFormat, HalfDegreesMatchPrintfForEveryByte)
{
    for (int b = -128; b <= 127; ++b) {
        char expected[32], actual[32];
        std::snprintf(expected, sizeof expected, "%4.1f", b * 0.5);
        const int length = formatHalfDegrees(actual, static_cast<int8_t>(b));
        EXPECT_STREQ(actual, expected) << b;
        EXPECT_EQ(length, static_cast<int>(std::strlen(expected)));
    }
}

TEST(ValueFormat, DecimalMatchesPrintf)
{
    std::mt19937 random(20261207);
    std::vector<int32_t> values = {0,    1,   -1,   9,   10,     -10,     99,        100,       127,          -128,
                                   -256, 254, 2100, -40, 344053, -344064, INT32_MAX, INT32_MIN, INT32_MIN + 1};
    for (int32_t v = -70000; v <= 70000; ++v)
        values.push_back(v);
    for (int i = 0; i < 200000; ++i)
        values.push_back(static_cast<int32_t>(random()));
    for (int32_t v : values) {
        char expected[32], actual[32];
        std::snprintf(expected, sizeof expected, "%d", v);
        const int length = formatDecimal(actual, v);
        ASSERT_STREQ(actual, expected) << v;
        ASSERT_EQ(length, static_cast<int>(std::strlen(expected)));
    }
}

TEST(ValueFormat, NeverWritesPastTwelveBytes)
{
    char buffer[32];
    std::memset(buffer, 0x55, sizeof buffer);
    formatDecimal(buffer, INT32_MIN);
    for (int i = kMaxValueText; i < 32; ++i)
        EXPECT_EQ(buffer[i], 0x55) << i;
}
