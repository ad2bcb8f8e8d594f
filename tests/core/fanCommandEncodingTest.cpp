#include <gtest/gtest.h>

#include <cstdint>

#include "core/fanCommand.h"
#include "core/meterCore.h"

// The wire's own bytes, written out here as the controller documents them,
// so that a wrong constant in core/protocol.h cannot agree with itself.
constexpr uint8_t kSetDutyFan0 = 0x11;

TEST(FanCommandEncoding, EachFanHasItsOwnCommandByteAndThePercentFollows)
{
    const char *const fans[] = {"0", "1", "2", "3"};
    for (int fan = 0; fan < 4; ++fan) {
        for (const int percent : {0, 1, 50, 99, 100}) {
            uint8_t command[kFanCommandSize] = {0xAA, 0xAA};
            const std::string percentText = std::to_string(percent);
            ASSERT_EQ(encodeFanCommand(fans[fan], percentText.c_str(), command), nullptr) << fan << " " << percent;
            EXPECT_EQ(command[0], kSetDutyFan0 + fan) << "fan " << fan;
            EXPECT_EQ(command[1], percent) << "fan " << fan;
        }
    }
    EXPECT_EQ(kFanCommandSize, 2);
}

TEST(FanCommandEncoding, OutOfRangeIsRefusedWithItsTextAndNothingWritten)
{
    struct Case {
        const char *fan, *percent, *expected;
    } const cases[] = {
        {"-1", "50", kInvalidFanIndex},
        {"4", "50", kInvalidFanIndex},
        {"0", "-1", kInvalidPercentage},
        {"0", "101", kInvalidPercentage},
        {"4", "101", kInvalidFanIndex},   // the fan is checked first
        {"4294967296", "50", nullptr},    // wraps to fan 0, as every parameter is read
        {"x", "y", nullptr},              // no digits: fan 0, 0 %
        {nullptr, "4294967396", nullptr}, // null is the empty text; 2^32 + 100 wraps to 100 %
    };
    for (const Case &c : cases) {
        uint8_t command[kFanCommandSize] = {0xAA, 0xAA};
        const char *result = encodeFanCommand(c.fan, c.percent, command);
        EXPECT_EQ(result, c.expected) << (c.fan ? c.fan : "(null)") << " " << c.percent;
        if (c.expected != nullptr) {
            EXPECT_EQ(command[0], 0xAA);
            EXPECT_EQ(command[1], 0xAA);
        } else {
            EXPECT_EQ(command[0], kSetDutyFan0);
        }
    }
}

TEST(FanCommandEncoding, NumbersAndTextsGiveTheSameBytesAndTheSameRefusals)
{
    for (int fan = -1; fan <= kFanCount; ++fan) {
        for (const int percent : {-1, 0, 100, 101}) {
            uint8_t fromNumbers[kFanCommandSize] = {0xAA, 0xAA}, fromTexts[kFanCommandSize] = {0xAA, 0xAA};
            const std::string fanText = std::to_string(fan), percentText = std::to_string(percent);
            EXPECT_EQ(encodeFanDuty(fan, percent, fromNumbers),
                      encodeFanCommand(fanText.c_str(), percentText.c_str(), fromTexts))
                << fan << " " << percent;
            EXPECT_EQ(fromNumbers[0], fromTexts[0]);
            EXPECT_EQ(fromNumbers[1], fromTexts[1]);
        }
    }
}
