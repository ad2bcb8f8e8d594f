#include <gtest/gtest.h>

#include "core/textToLong.h"

TEST(TextToLong, AcceptsBlanksSignsLeadingZerosAndTrailingText)
{
    for (const char *text : {"3", " 3", "+3", "03", "3 fans", "\t\n\v\f\r 3", "0003x"})
        EXPECT_EQ(textToLong(text), 3) << '"' << text << '"';
    EXPECT_EQ(textToLong("-12"), -12);
    EXPECT_EQ(textToLong("  -0"), 0);
}

TEST(TextToLong, NoDigitsGiveZero)
{
    for (const char *text : std::initializer_list<const char *>{"", "x3", "- 3", "+", "-", " ", "+-3", nullptr})
        EXPECT_EQ(textToLong(text), 0) << (text ? text : "(null)");
}

TEST(TextToLong, WrapsAroundAt32Bits)
{
    EXPECT_EQ(textToLong("4294967296"), 0); // 2^32 selects index 0
    EXPECT_EQ(textToLong("4294967297"), 1);
    EXPECT_EQ(textToLong("2147483647"), 2147483647);
    EXPECT_EQ(textToLong("2147483648"), INT32_MIN);
    EXPECT_EQ(textToLong("-2147483648"), INT32_MIN);
    EXPECT_EQ(textToLong("-4294967295"), 1);
    EXPECT_EQ(textToLong("99999999999999999999"), static_cast<int32_t>(1661992959u));
}
