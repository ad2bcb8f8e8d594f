#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "control/controlConfig.h"
#include "control/sensorName.h"

namespace {

ControlConfig twoFans()
{
    ControlConfig config;
    FanCurveConfig fan;
    fan.fan = 0;
    fan.sensors = {"digital3", "analog0"};
    fan.points = {{30, 20}, {50, 60}, {60, 100}};
    config.fans.push_back(fan);
    fan.fan = 1;
    fan.sensors = {"analog5"};
    config.fans.push_back(fan);
    return config;
}

// The text validation gives after the change, or "ok".
std::string afterChange(const std::function<void(ControlConfig &)> &change)
{
    ControlConfig config = twoFans();
    change(config);
    const std::optional<ConfigError> error = validateControlConfig(config);
    return error ? configErrorText(*error) : "ok";
}

} // namespace

TEST(ControlConfig, AcceptsDefaultsAndTheEndsOfTheRange)
{
    EXPECT_EQ(afterChange([](ControlConfig &) {}), "ok");
    EXPECT_EQ(afterChange([](ControlConfig &c) {
                  c.fans[1].points = {{-64, 0}, {63.5, 100.0}};
                  c.fans[1].critical = 63.5;
                  c.fans[1].plausible = {-64, 63.5};
                  c.fans[1].start = 100;
                  c.fans[1].maxStepDown = 1;
                  c.interval = 1;
              }),
              "ok");
    EXPECT_EQ(afterChange([](ControlConfig &c) { c.fans[0].points = {{40, 33.3}}; }), "ok"); // a fraction on the curve
    EXPECT_EQ(afterChange([](ControlConfig &c) { c.device = DeviceConfig{"VORN0000", std::nullopt}; }), "ok");
    EXPECT_EQ(afterChange([](ControlConfig &c) { c.device = DeviceConfig{std::nullopt, 2147483647}; }), "ok");
}

TEST(ControlConfig, NamesThePlaceOfTheFirstError)
{
    using C = ControlConfig &;
    const std::pair<std::function<void(C)>, std::string> cases[] = {
        {[](C c) { c.fans[1].points[2].celsius = 70; },
         "fans[1].points[2]: temperature 70 is outside what the controller reports (-64 to 63.5 °C)"},
        {[](C c) { c.fans[0].points[1].celsius = NAN; },
         "fans[0].points[1]: temperature nan is outside what the controller reports (-64 to 63.5 °C)"},
        {[](C c) { c.fans[0].points[1].celsius = 30; },
         "fans[0].points[1]: temperature 30 does not rise above the previous point's 30"},
        {[](C c) { c.fans[1].points[1].percent = 100.5; }, "fans[1].points[1]: duty 100.5 is outside 0 to 100 %"},
        {[](C c) { c.fans[0].points.clear(); }, "fans[0].points: no point given; give at least one [celsius, percent]"},
        {[](C c) { c.fans[1].sensors.clear(); }, "fans[1].sensors: no sensor named; name at least one"},
        {[](C c) { c.fans[0].sensors[1] = "analog6"; },
         "fans[0].sensors[1]: unknown sensor \"analog6\" (digital0 to digital7, analog0 to analog5)"},
        {[](C c) { c.fans[1].fan = 4; }, "fans[1].fan: 4 is not a fan of the controller (0 to 3)"},
        {[](C c) { c.fans[1].fan = 0.5; }, "fans[1].fan: 0.5 is not a fan of the controller (0 to 3)"},
        {[](C c) { c.fans[1].fan = 0; }, "fans[1].fan: fan 0 is already driven by fans[0]"},
        {[](C c) { c.fans[0].hysteresis = -0.5; }, "fans[0].hysteresis: -0.5 is not 0 °C or more"},
        {[](C c) { c.fans[0].maxStepDown = 0; }, "fans[0].maxStepDown: 0 is not a whole percent from 1 to 100"},
        {[](C c) { c.fans[0].start = -1; }, "fans[0].start: -1 is not a whole percent from 0 to 100"},
        {[](C c) { c.fans[0].critical = 64; },
         "fans[0].critical: temperature 64 is outside what the controller reports (-64 to 63.5 °C)"},
        {[](C c) { c.fans[1].failsafe = 99.5; }, "fans[1].failsafe: 99.5 is not a whole percent from 0 to 100"},
        {[](C c) { c.fans[0].plausible.low = 63; }, "fans[0].plausible: low 63 is not below high 63"},
        {[](C c) { c.interval = 0.5; }, "interval: 0.5 is not from 1 to 86400 seconds"},
        {[](C c) { c.fans.clear(); }, "fans: no fan named; name at least one"},
        {[](C c) { c.device = DeviceConfig{}; }, "device: needs \"serial\" or \"number\", one of them"},
        {[](C c) {
             c.device = DeviceConfig{"VORN0000", 0};
         },
         "device: needs \"serial\" or \"number\", one of them"},
        {[](C c) {
             c.device = DeviceConfig{"", std::nullopt};
         },
         "device.serial: an empty serial number names no device"},
        {[](C c) {
             c.device = DeviceConfig{std::nullopt, 1.5};
         },
         "device.number: 1.5 is not a device number (0 to 2147483647)"},
        {[](C c) {
             c.device = DeviceConfig{std::nullopt, -1};
         },
         "device.number: -1 is not a device number (0 to 2147483647)"},
        // Document order: the device before the fans.
        {[](C c) {
             c.device = DeviceConfig{"", std::nullopt};
             c.fans.clear();
         },
         "device.serial: an empty serial number names no device"},
        // Document order: a fan's points before its failsafe.
        {[](C c) {
             c.fans[0].failsafe = 101;
             c.fans[0].points[1].percent = -1;
         },
         "fans[0].points[1]: duty -1 is outside 0 to 100 %"},
    };
    for (const auto &[change, expected] : cases)
        EXPECT_EQ(afterChange(change), expected);
}

TEST(ControlConfig, ChecksTheAlarmsTheLogDaysAndTheDashboardsPort)
{
    EXPECT_EQ(afterChange([](ControlConfig &c) {
                  c.alarms = {"C:\\Windows\\System32\\cmd.exe", "/c \"C:\\VORN tools\\notify.cmd\"", 0, 1};
                  c.logDays = 366;
              }),
              "ok");
    EXPECT_EQ(afterChange([](ControlConfig &c) { c.alarms.arguments = "/c notify.cmd"; }),
              "alarms.arguments: arguments without a \"program\" run nothing");
    EXPECT_EQ(afterChange([](ControlConfig &c) {
                  c.alarms.program = "C:\\Windows\\System32\\cmd.exe";
                  c.alarms.arguments = std::string("/c echo a\0b", 11);
              }),
              "alarms.arguments: a command line cannot hold a line break or a null character");
    EXPECT_EQ(afterChange([](ControlConfig &c) { c.alarms.repeatMinutes = -1; }),
              "alarms.repeatMinutes: -1 is not from 0 to 10080 minutes");
    EXPECT_EQ(afterChange([](ControlConfig &c) { c.alarms.lostSeconds = 0.5; }),
              "alarms.lostSeconds: 0.5 is not from 1 to 86400 seconds");
    EXPECT_EQ(afterChange([](ControlConfig &c) { c.alarms.lostSeconds = NAN; }),
              "alarms.lostSeconds: nan is not from 1 to 86400 seconds");
    EXPECT_EQ(afterChange([](ControlConfig &c) { c.http.port = 8787.5; }),
              "http.port: 8787.5 is not a port number (1 to 65535)");
    EXPECT_EQ(afterChange([](ControlConfig &c) { c.http.port = 0; }), "http.port: 0 is not a port number (1 to 65535)");
    EXPECT_EQ(afterChange([](ControlConfig &c) { c.http.port = 65535; }), "ok");
    EXPECT_EQ(afterChange([](ControlConfig &c) { c.logDays = 1.5; }),
              "logDays: 1.5 is not a whole number of days from 1 to 366");
    EXPECT_EQ(afterChange([](ControlConfig &c) { c.logDays = 0; }),
              "logDays: 0 is not a whole number of days from 1 to 366");
    // The fans come first in the document, so their errors do too.
    EXPECT_EQ(afterChange([](ControlConfig &c) {
                  c.logDays = 0;
                  c.fans[0].hysteresis = -1;
              }),
              "fans[0].hysteresis: -1 is not 0 °C or more");
}

TEST(SensorName, ReadsExactlyTheFourteenNames)
{
    for (int sensor = 0; sensor < kSensorCount; ++sensor)
        EXPECT_EQ(sensorNumber(sensorName(sensor)), sensor);
    EXPECT_EQ(sensorName(7), "digital7");
    EXPECT_EQ(sensorName(8), "analog0");
    for (const char *name : {"digital8", "analog6", "Digital0", "digital01", "digital", "analog-1", "", "digital0 "})
        EXPECT_FALSE(sensorNumber(name)) << name;
}

// The alarm program runs with a service's rights: only a program named by
// its full path on a local drive, which Windows opens as it stands, passes.
TEST(ControlConfig, TheAlarmProgramIsNamedByItsFullPath)
{
    const auto problem = [](const std::string &program) {
        return afterChange([&](ControlConfig &c) { c.alarms.program = program; });
    };
    for (const char *good :
         {"C:\\Windows\\System32\\cmd.exe", "d:/tools/notify.EXE", "C:\\Program Files\\VORN tools\\alarm.exe"})
        EXPECT_EQ(problem(good), "ok") << good;
    const std::string fullPath = ": name the program by its full path, such as C:\\Windows\\System32\\cmd.exe";
    const struct {
        std::string program;
        std::string expected;
    } cases[] = {
        {"powershell", "\"powershell\" is a bare name, which Windows would search for" + fullPath},
        {"tools\\notify.exe", "\"tools\\notify.exe\" is a relative path" + fullPath},
        {"\\Windows\\notify.exe", "\"\\Windows\\notify.exe\" is a relative path" + fullPath},
        {"C:notify.exe", "\"C:notify.exe\" is a relative path" + fullPath},
        {"\\\\server\\share\\notify.exe",
         "\"\\\\server\\share\\notify.exe\" is a network or device path: name a program on a local drive, "
         "such as C:\\Windows\\System32\\cmd.exe"},
        {"C:\\VORN\\notify.cmd",
         "\"C:\\VORN\\notify.cmd\" is a batch file, which runs through the command interpreter: name "
         "C:\\Windows\\System32\\cmd.exe as the program, and /c followed by the batch file's full path in quotes as "
         "its arguments"},
        {"C:\\VORN\\notify.ps1",
         "\"C:\\VORN\\notify.ps1\" does not end in .exe: name the program file itself, such as "
         "C:\\Windows\\System32\\cmd.exe"},
        {"\"C:\\VORN\\notify.exe\"", "a path cannot hold control characters or any of \" * ? < > |"},
        {"C:\\" + std::string(kLongestProgramPath, 'x') + ".exe", "a path longer than 259 characters names no program"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(problem(c.program), "alarms.program: " + c.expected) << c.program;
}
