// The configuration of `vornhost control`: which fans it drives, from which
// sensors, along which curve, and what it does when the readings cannot be
// trusted. Plain structs, one per section of the JSON file; which key fills
// which member, and the range it takes, is control/configKeys.h's table (an
// example file: packaging/fan-curve.json). A member's initialiser is the
// default the host keeps when the key is absent. Every number is a double,
// as JSON gives it, so that the host never rounds a value on the way in:
// whether a fan number or a duty is whole is checked here. All temperatures
// are in °C, all duties in percent.
//
// validateControlConfig checks the values; the host checks the JSON itself
// (malformed text, unknown keys, wrong types) and names places the same way
// (control/configPlace.h).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "control/configPlace.h"
#include "control/pollSchedule.h"
#include "control/programPath.h"

// What the status frame can carry: a signed byte of half degrees.
constexpr double kLowestCelsius = -64.0;
constexpr double kHighestCelsius = 63.5;

// One point of a curve, written [celsius, percent]. The duty may have a
// fraction; what the curve gives is rounded to a whole percent.
struct CurvePoint {
    double celsius = 0;
    double percent = 0;
};

// Readings outside [low, high] are taken as a sensor fault, not as heat.
// 63.5 °C, where the frame's byte saturates, lies above the default.
struct PlausibleRange {
    double low = -10;
    double high = 63;
};

struct FanCurveConfig {
    double fan = 0;                   // 0-3, each fan in at most one entry
    std::vector<std::string> sensors; // names as in control/sensorName.h; the hottest drives
    std::vector<CurvePoint> points;   // strictly rising in temperature
    double hysteresis = 3;            // °C, >= 0
    double maxStepDown = 10;          // whole percent per poll, 1-100
    double minimum = 0;               // whole percent for a running fan, 0-100
    std::optional<double> start;      // whole percent, 0-100: the kick when leaving 0
    std::optional<double> critical;   // °C: full speed at and above it
    double failsafe = 100;            // whole percent, 0-100
    std::optional<double> onExit;     // whole percent, 0-100; the failsafe when absent
    PlausibleRange plausible;

    double exitPercent() const { return onExit.value_or(failsafe); }
};

// Highest device number the bridge library takes (its int argument).
constexpr double kHighestDeviceNumber = 2147483647.0;

// The controller to drive: by its serial number or by its device number, one
// of the two. Without a device the host uses the plug-in's stored number.
struct DeviceConfig {
    std::optional<std::string> serial; // not empty
    std::optional<double> number;      // whole, 0 to kHighestDeviceNumber
};

// Longest time between two raisings of the same alarm: a week.
constexpr double kLongestRepeatMinutes = 10080.0;

// Longest command line Windows takes, less the program's quoted path before
// the arguments.
constexpr size_t kLongestArguments = 32766 - kLongestProgramPath - 3;

// What the alarms (control/alarmEvent.h) do beyond the log: a program run for
// each, named by its full path (control/programPath.h) with its arguments
// apart, and how often the same alarm may come again.
struct AlarmConfig {
    std::optional<std::string> program; // the full path of an .exe
    std::string arguments;              // its command line after its own name, as written; only with a program
    double repeatMinutes = 15;          // 0 to kLongestRepeatMinutes
    double lostSeconds = 30;            // no answer this long is the controller lost: 1 to kLongestPollIntervalSeconds
};

// Highest TCP port number.
constexpr double kHighestPort = 65535.0;

// The dashboard's local HTTP server (host/web/): off without a port.
struct HttpConfig {
    std::optional<double> port; // whole, 1 to kHighestPort; served on the loopback address only
};

// Longest a service's daily log is kept: a year.
constexpr double kLongestLogDays = 366.0;

struct ControlConfig {
    double interval = 1; // seconds between polls, 1 to kLongestPollIntervalSeconds
    std::optional<DeviceConfig> device;
    std::vector<FanCurveConfig> fans;
    AlarmConfig alarms;
    HttpConfig http;
    double logDays = 7; // whole days the service keeps its daily CSV logs, 1 to kLongestLogDays
};

// The first error in the order of the key tables (control/configKeys.h), or
// none when the configuration can be used, e.g. {"fans[1].points[2]",
// "temperature 70 is outside what the controller reports (-64 to 63.5 °C)"}.
std::optional<ConfigError> validateControlConfig(const ControlConfig &config);
