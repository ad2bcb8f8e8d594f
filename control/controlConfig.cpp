#include "control/controlConfig.h"

#include <cmath>

#include "control/numberText.h"
#include "control/sensorName.h"
#include "core/statusFrame.h"

namespace {

using Check = std::optional<ConfigError>;

bool within(double value, double low, double high)
{
    return value >= low && value <= high; // false for NaN
}

bool whole(double value)
{
    return std::isfinite(value) && value == std::floor(value);
}

Check temperature(const std::string &place, double celsius)
{
    if (within(celsius, kLowestCelsius, kHighestCelsius))
        return std::nullopt;
    return ConfigError{place, "temperature " + numberText(celsius) + " is outside what the controller reports (" +
                                  numberText(kLowestCelsius) + " to " + numberText(kHighestCelsius) + " °C)"};
}

// A duty the curve interpolates: any value from 0 to 100.
Check pointDuty(const std::string &place, double percent)
{
    if (within(percent, 0, 100))
        return std::nullopt;
    return ConfigError{place, "duty " + numberText(percent) + " is outside 0 to 100 %"};
}

// A duty sent as it stands (or a step of one): a whole percent from low to 100.
Check wholePercent(const std::string &place, double percent, double low = 0)
{
    if (whole(percent) && within(percent, low, 100))
        return std::nullopt;
    return ConfigError{place, numberText(percent) + " is not a whole percent from " + numberText(low) + " to 100"};
}

Check optionalPercent(const std::string &place, const std::optional<double> &percent)
{
    return percent ? wholePercent(place, *percent) : std::nullopt;
}

Check sensors(const std::string &fanPlace, const std::vector<std::string> &names)
{
    const std::string place = placeKey(fanPlace, "sensors");
    if (names.empty())
        return ConfigError{place, "no sensor named; name at least one"};
    for (size_t i = 0; i < names.size(); ++i) {
        if (!sensorNumber(names[i]))
            return ConfigError{placeIndex(place, i),
                               "unknown sensor \"" + names[i] + "\" (digital0 to digital7, analog0 to analog5)"};
    }
    return std::nullopt;
}

Check points(const std::string &fanPlace, const std::vector<CurvePoint> &curve)
{
    const std::string place = placeKey(fanPlace, "points");
    if (curve.empty())
        return ConfigError{place, "no point given; give at least one [celsius, percent]"};
    for (size_t i = 0; i < curve.size(); ++i) {
        const std::string pointPlace = placeIndex(place, i);
        if (Check error = temperature(pointPlace, curve[i].celsius))
            return error;
        if (i > 0 && !(curve[i].celsius > curve[i - 1].celsius))
            return ConfigError{pointPlace, "temperature " + numberText(curve[i].celsius) +
                                               " does not rise above the previous point's " +
                                               numberText(curve[i - 1].celsius)};
        if (Check error = pointDuty(pointPlace, curve[i].percent))
            return error;
    }
    return std::nullopt;
}

Check plausible(const std::string &fanPlace, const PlausibleRange &range)
{
    const std::string place = placeKey(fanPlace, "plausible");
    if (Check error = temperature(placeKey(place, "low"), range.low))
        return error;
    if (Check error = temperature(placeKey(place, "high"), range.high))
        return error;
    if (!(range.low < range.high))
        return ConfigError{place, "low " + numberText(range.low) + " is not below high " + numberText(range.high)};
    return std::nullopt;
}

Check fanEntry(const std::string &place, const FanCurveConfig &fan)
{
    if (Check error = sensors(place, fan.sensors))
        return error;
    if (Check error = points(place, fan.points))
        return error;
    if (!(std::isfinite(fan.hysteresis) && fan.hysteresis >= 0))
        return ConfigError{placeKey(place, "hysteresis"), numberText(fan.hysteresis) + " is not 0 °C or more"};
    if (Check error = wholePercent(placeKey(place, "maxStepDown"), fan.maxStepDown, 1))
        return error;
    if (Check error = wholePercent(placeKey(place, "minimum"), fan.minimum))
        return error;
    if (Check error = optionalPercent(placeKey(place, "start"), fan.start))
        return error;
    if (fan.critical) {
        if (Check error = temperature(placeKey(place, "critical"), *fan.critical))
            return error;
    }
    if (Check error = wholePercent(placeKey(place, "failsafe"), fan.failsafe))
        return error;
    if (Check error = optionalPercent(placeKey(place, "onExit"), fan.onExit))
        return error;
    return plausible(place, fan.plausible);
}

Check device(const DeviceConfig &chosen)
{
    if (chosen.serial.has_value() == chosen.number.has_value())
        return ConfigError{"device", "needs \"serial\" or \"number\", one of them"};
    if (chosen.serial && chosen.serial->empty())
        return ConfigError{"device.serial", "an empty serial number names no device"};
    if (chosen.number && !(whole(*chosen.number) && within(*chosen.number, 0, kHighestDeviceNumber)))
        return ConfigError{"device.number", numberText(*chosen.number) + " is not a device number (0 to " +
                                                numberText(kHighestDeviceNumber) + ")"};
    return std::nullopt;
}

Check alarms(const AlarmConfig &alarms)
{
    if (alarms.program) {
        if (std::optional<std::string> problem = programPathProblem(*alarms.program))
            return ConfigError{"alarms.program", *problem};
    } else if (!alarms.arguments.empty()) {
        return ConfigError{"alarms.arguments", "arguments without a \"program\" run nothing"};
    }
    for (char c : alarms.arguments) {
        if (c == '\0' || c == '\r' || c == '\n')
            return ConfigError{"alarms.arguments", "a command line cannot hold a line break or a null character"};
    }
    if (alarms.arguments.size() > kLongestArguments)
        return ConfigError{"alarms.arguments", "longer than the " + std::to_string(kLongestArguments) +
                                                   " characters a command line leaves them"};
    if (!within(alarms.repeatMinutes, 0, kLongestRepeatMinutes))
        return ConfigError{"alarms.repeatMinutes", numberText(alarms.repeatMinutes) + " is not from 0 to " +
                                                       numberText(kLongestRepeatMinutes) + " minutes"};
    if (!within(alarms.lostSeconds, 1, kLongestPollIntervalSeconds))
        return ConfigError{"alarms.lostSeconds", numberText(alarms.lostSeconds) + " is not from 1 to " +
                                                     numberText(kLongestPollIntervalSeconds) + " seconds"};
    return std::nullopt;
}

} // namespace

std::optional<ConfigError> validateControlConfig(const ControlConfig &config)
{
    if (!within(config.interval, 1, kLongestPollIntervalSeconds))
        return ConfigError{"interval", numberText(config.interval) + " is not from 1 to " +
                                           numberText(kLongestPollIntervalSeconds) + " seconds"};
    if (config.device) {
        if (Check error = device(*config.device))
            return error;
    }
    if (config.fans.empty())
        return ConfigError{"fans", "no fan named; name at least one"};

    size_t entryOfFan[kFanCount];
    bool named[kFanCount] = {};
    for (size_t i = 0; i < config.fans.size(); ++i) {
        const std::string place = placeIndex("fans", i);
        const double fan = config.fans[i].fan;
        if (!(whole(fan) && within(fan, 0, kFanCount - 1)))
            return ConfigError{placeKey(place, "fan"), numberText(fan) + " is not a fan of the controller (0 to " +
                                                           std::to_string(kFanCount - 1) + ")"};
        const int number = static_cast<int>(fan);
        if (named[number])
            return ConfigError{placeKey(place, "fan"), "fan " + std::to_string(number) + " is already driven by " +
                                                           placeIndex("fans", entryOfFan[number])};
        named[number] = true;
        entryOfFan[number] = i;
        if (Check error = fanEntry(place, config.fans[i]))
            return error;
    }
    if (Check error = alarms(config.alarms))
        return error;
    if (!(whole(config.logDays) && within(config.logDays, 1, kLongestLogDays)))
        return ConfigError{"logDays", numberText(config.logDays) + " is not a whole number of days from 1 to " +
                                          numberText(kLongestLogDays)};
    return std::nullopt;
}
