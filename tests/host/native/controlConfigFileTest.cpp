// The configuration reader from text, natively: what it keeps from a file,
// the place and message of what it refuses, and text no JSON reader should
// choke on.
#include <gtest/gtest.h>

#include <string>

#include "host/fans/controlConfigFile.h"

namespace {

std::string refusal(const std::string &text)
{
    ControlConfig config;
    ConfigError error;
    if (parseControlConfig(text, config, error))
        return "taken";
    return configErrorText(error);
}

const std::string kFan = R"({"fan": 0, "sensors": ["digital3"], "points": [[30, 20], [60, 100]]})";

} // namespace

TEST(ControlConfigFile, KeepsEveryKeyAndTheDefaultsOfThoseLeftOut)
{
    const std::string text =
        R"({"interval": 2, "device": {"serial": "VORN0001"},
            "fans": [{"fan": 2, "sensors": ["analog0", "digital3"], "points": [[30, 20.5], [60, 100]],
                      "hysteresis": 1.5, "maxStepDown": 5, "minimum": 20, "start": 40, "critical": 61,
                      "failsafe": 90, "onExit": 30, "plausible": {"low": -5, "high": 62}}, )" +
        kFan + R"(],
            "alarms": {"program": "C:\\Windows\\System32\\cmd.exe", "arguments": "/c n.cmd",
                       "repeatMinutes": 5, "lostSeconds": 12},
            "logDays": 3, "http": {"port": 8787}})";
    ControlConfig config;
    ConfigError error;
    ASSERT_TRUE(parseControlConfig(text, config, error)) << configErrorText(error);
    EXPECT_EQ(config.interval, 2);
    ASSERT_TRUE(config.device && config.device->serial);
    EXPECT_EQ(*config.device->serial, "VORN0001");
    ASSERT_EQ(config.fans.size(), 2u);
    const FanCurveConfig &fan = config.fans[0];
    EXPECT_EQ(fan.fan, 2);
    EXPECT_EQ(fan.sensors, (std::vector<std::string>{"analog0", "digital3"}));
    ASSERT_EQ(fan.points.size(), 2u);
    EXPECT_EQ(fan.points[0].percent, 20.5);
    EXPECT_EQ(fan.hysteresis, 1.5);
    EXPECT_EQ(fan.maxStepDown, 5);
    EXPECT_EQ(fan.minimum, 20);
    EXPECT_EQ(fan.start, 40);
    EXPECT_EQ(fan.critical, 61);
    EXPECT_EQ(fan.failsafe, 90);
    EXPECT_EQ(fan.onExit, 30);
    EXPECT_EQ(fan.plausible.low, -5);
    EXPECT_EQ(fan.plausible.high, 62);
    EXPECT_EQ(config.alarms.program, "C:\\Windows\\System32\\cmd.exe");
    EXPECT_EQ(config.alarms.arguments, "/c n.cmd");
    EXPECT_EQ(config.alarms.repeatMinutes, 5);
    EXPECT_EQ(config.alarms.lostSeconds, 12);
    EXPECT_EQ(config.logDays, 3);
    EXPECT_EQ(config.http.port, 8787);

    const FanCurveConfig defaults;
    const FanCurveConfig &second = config.fans[1];
    EXPECT_EQ(second.hysteresis, defaults.hysteresis);
    EXPECT_EQ(second.maxStepDown, defaults.maxStepDown);
    EXPECT_FALSE(second.start || second.critical || second.onExit);
    EXPECT_EQ(second.plausible.high, defaults.plausible.high);
}

TEST(ControlConfigFile, NamesThePlaceOfWhatItRefuses)
{
    EXPECT_EQ(refusal(R"({"fans": [)" + kFan + R"(], "intervall": 1})"),
              "intervall: unknown key (known here: interval, device, fans, alarms, logDays, http)");
    EXPECT_EQ(refusal(R"({"interval": 1})"), "\"fans\" is missing");
    EXPECT_EQ(refusal(R"({"fans": [{"fan": 0, "points": [[30, 20]]}]})"), "fans[0]: \"sensors\" is missing");
    EXPECT_EQ(refusal(R"({"fans": [{"fan": 0, "sensors": ["digital3"], "points": [[30, 20]], "maxStepDown": "5"}]})"),
              "fans[0].maxStepDown: needs a number, not \"5\"");
    EXPECT_EQ(refusal(R"({"fans": [{"fan": 0, "sensors": ["digital3"], "points": [[30, 20]], "maxStepDown": 0}]})"),
              "fans[0].maxStepDown: 0 is not a whole percent from 1 to 100");
    EXPECT_EQ(refusal(R"({"fans": [{"fan": 0, "sensors": ["digital3"], "points": [[30]]}]})"),
              "fans[0].points[0]: needs [celsius, percent], two numbers, not [30]");
    EXPECT_EQ(refusal(R"({"fans": [)" + kFan + R"(], "alarms": {"repeatMinutes": 10081}})"),
              "alarms.repeatMinutes: 10081 is not from 0 to 10080 minutes");
    EXPECT_EQ(refusal(R"({"fans": [)" + kFan + R"(], "alarms": {"lostSeconds": []}})"),
              "alarms.lostSeconds: needs a number, not []");
    EXPECT_EQ(refusal(R"({"fans": [)" + kFan + R"(], "device": {"serial": 7}})"),
              "device.serial: needs a serial number such as \"VORN0000\", not 7");
    EXPECT_EQ(refusal(R"({"fans": [)" + kFan + R"(], "alarms": {"command": "x"}})")
                  .rfind("alarms.command: no longer read", 0),
              0u);
    EXPECT_EQ(refusal(R"({"fans": [)" + kFan + R"(], "http": {"port": "8787"}})"),
              "http.port: needs a number, not \"8787\"");
    EXPECT_EQ(refusal(R"({"fans": [)" + kFan + R"(], "http": {"port": 65536}})"),
              "http.port: 65536 is not a port number (1 to 65535)");
    EXPECT_EQ(refusal(R"({"fans": [)" + kFan + R"(], "http": {"host": "0.0.0.0"}})"),
              "http.host: unknown key (known here: port)");
    EXPECT_EQ(refusal(R"({"fans": [)" + kFan + R"(,)" + kFan + R"(]})"),
              "fans[1].fan: fan 0 is already driven by fans[0]");
}

TEST(ControlConfigFile, RefusesTextThatIsNoConfigurationWithoutFault)
{
    for (const std::string &text : {std::string(), std::string("\xff\xfe{"), std::string("{\"fans\": [1e999]}"),
                                    std::string("[]"), std::string("{\"fans\": {}}"), std::string(1, '\0'),
                                    std::string("{\"fans\": [{\"fan\": 0, \"sensors\": [\"\xc3\"]}]}")}) {
        ControlConfig config;
        ConfigError error;
        EXPECT_FALSE(parseControlConfig(text, config, error)) << text;
        EXPECT_FALSE(error.message.empty()) << text;
    }
}
