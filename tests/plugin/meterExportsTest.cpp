#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tests/support/pluginModule.h"

// The meters through the exports, right after load: the frame is all zero
// and no error is pending.
TEST(MeterExports, AnswerFromTheZeroedFrameAfterLoad)
{
    PluginModule plugin;
    struct Case {
        const char *name, *parameter, *expected;
    } cases[] = {
        {"GetDigitalTemp", "7", " 0.0"},
        {"GetAnalogTemp", "0", " 0.0"},
        {"GetFanRPM", "3", "0"},
        {"GetFanPercentage", "0", "0"},
        {"GetFanMaxRPM", "2", "0"},
        {"GetFanManualMode", "1", "0"},
        {"GetValue", "285", "0"},
        {"_GetValue@8", "1", "0"},
        {"GetDigitalTemp", "8", "Invalid sensor index"},
        {"GetAnalogTemp", "-1", "Invalid sensor index"},
        {"GetFanRPM", "4", "Invalid fan index"},
        {"GetValue", "0", "Invalid value index"},
    };
    for (const Case &c : cases) {
        char buffer[16];
        std::memset(buffer, 0x5A, sizeof buffer);
        const char *result = plugin.get<MeterFn>(c.name)(buffer, c.parameter);
        EXPECT_STREQ(result, c.expected) << c.name << "(" << c.parameter << ")";
        const bool reading = c.expected[0] == ' ' || c.expected[0] == '0';
        EXPECT_EQ(result == buffer, reading) << c.name;
    }
}

TEST(MeterExports, NullArgumentsDoNotCrash)
{
    PluginModule plugin;
    auto getValue = plugin.get<MeterFn>("GetValue");
    auto getFanRpm = plugin.get<MeterFn>("GetFanRPM");
    char buffer[16] = {};
    EXPECT_STREQ(getFanRpm(buffer, nullptr), "0");
    EXPECT_STREQ(getValue(buffer, nullptr), "Invalid value index");
    EXPECT_STREQ(getFanRpm(nullptr, "1"), "No output buffer");
    EXPECT_STREQ(getFanRpm(nullptr, nullptr), "No output buffer");
}
