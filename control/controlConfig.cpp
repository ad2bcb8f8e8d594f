#include "control/controlConfig.h"

#include <cmath>
#include <type_traits>

#include "control/configKeys.h"
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

// The words of each measure's error (control/configKeys.h).
Check numberProblem(const std::string &place, double value, const NumberRange &range)
{
    const std::string shown = numberText(value);
    const std::string low = numberText(range.low);
    const std::string high = numberText(range.high);
    switch (range.measure) {
    case Measure::Seconds:
    case Measure::Minutes:
        if (within(value, range.low, range.high))
            return std::nullopt;
        return ConfigError{place, shown + " is not from " + low + " to " + high +
                                      (range.measure == Measure::Seconds ? " seconds" : " minutes")};
    case Measure::Days:
        if (whole(value) && within(value, range.low, range.high))
            return std::nullopt;
        return ConfigError{place, shown + " is not a whole number of days from " + low + " to " + high};
    case Measure::Percent:
        if (whole(value) && within(value, range.low, range.high))
            return std::nullopt;
        return ConfigError{place, shown + " is not a whole percent from " + low + " to " + high};
    case Measure::Celsius:
        if (within(value, range.low, range.high))
            return std::nullopt;
        return ConfigError{place, "temperature " + shown + " is outside what the controller reports (" + low + " to " +
                                      high + " °C)"};
    case Measure::CelsiusMargin:
        if (std::isfinite(value) && value >= range.low)
            return std::nullopt;
        return ConfigError{place, shown + " is not " + low + " °C or more"};
    case Measure::Fan:
        if (whole(value) && within(value, range.low, range.high))
            return std::nullopt;
        return ConfigError{place, shown + " is not a fan of the controller (" + low + " to " + high + ")"};
    case Measure::DeviceNumber:
        if (whole(value) && within(value, range.low, range.high))
            return std::nullopt;
        return ConfigError{place, shown + " is not a device number (" + low + " to " + high + ")"};
    case Measure::Port:
        if (whole(value) && within(value, range.low, range.high))
            return std::nullopt;
        return ConfigError{place, shown + " is not a port number (" + low + " to " + high + ")"};
    }
    return std::nullopt;
}

Check temperature(const std::string &place, double celsius)
{
    return numberProblem(place, celsius, {Measure::Celsius, kLowestCelsius, kHighestCelsius});
}

// A duty the curve interpolates: any value from 0 to 100.
Check pointDuty(const std::string &place, double percent)
{
    if (within(percent, 0, 100))
        return std::nullopt;
    return ConfigError{place, "duty " + numberText(percent) + " is outside 0 to 100 %"};
}

Check sensors(const std::string &place, const std::vector<std::string> &names)
{
    if (names.empty())
        return ConfigError{place, "no sensor named; name at least one"};
    for (size_t i = 0; i < names.size(); ++i) {
        if (!sensorNumber(names[i]))
            return ConfigError{placeIndex(place, i),
                               "unknown sensor \"" + names[i] + "\" (digital0 to digital7, analog0 to analog5)"};
    }
    return std::nullopt;
}

Check points(const std::string &place, const std::vector<CurvePoint> &curve)
{
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

template <class Section>
Check sectionProblem(const std::string &place, const Section &section, const ConfigKeys<Section> &keys);

// One key's value, by its kind: the overloads below, each for the members
// that kind has.
template <class Section, class Member>
Check valueProblem(const std::string &, const Section &, Member Section::*, const NumberRange &)
{
    return std::nullopt; // a kind no key of this section has
}

template <class Section>
Check valueProblem(const std::string &place, const Section &section, double Section::*field, const NumberRange &range)
{
    return numberProblem(place, section.*field, range);
}

template <class Section>
Check valueProblem(const std::string &place, const Section &section, std::optional<double> Section::*field,
                   const NumberRange &range)
{
    const std::optional<double> &value = section.*field;
    return value ? numberProblem(place, *value, range) : std::nullopt;
}

Check valueProblem(const std::string &place, const FanCurveConfig &fan, std::vector<std::string> FanCurveConfig::*field,
                   const NumberRange &)
{
    return sensors(place, fan.*field);
}

Check valueProblem(const std::string &place, const FanCurveConfig &fan, std::vector<CurvePoint> FanCurveConfig::*field,
                   const NumberRange &)
{
    return points(place, fan.*field);
}

Check valueProblem(const std::string &place, const FanCurveConfig &fan, PlausibleRange FanCurveConfig::*field,
                   const NumberRange &)
{
    const PlausibleRange &range = fan.*field;
    if (Check error = sectionProblem(place, range, plausibleRangeKeys()))
        return error;
    if (!(range.low < range.high))
        return ConfigError{place, "low " + numberText(range.low) + " is not below high " + numberText(range.high)};
    return std::nullopt;
}

Check valueProblem(const std::string &place, const DeviceConfig &device,
                   std::optional<std::string> DeviceConfig::*field, const NumberRange &)
{
    const std::optional<std::string> &serial = device.*field;
    if (serial && serial->empty())
        return ConfigError{place, "an empty serial number names no device"};
    return std::nullopt;
}

Check valueProblem(const std::string &place, const ControlConfig &config,
                   std::optional<DeviceConfig> ControlConfig::*field, const NumberRange &)
{
    const std::optional<DeviceConfig> &chosen = config.*field;
    if (!chosen)
        return std::nullopt;
    if (chosen->serial.has_value() == chosen->number.has_value()) {
        const std::string quoted = "\"" + configKeyList(deviceConfigKeys(), "\" or \"") + "\"";
        return ConfigError{place, "needs " + quoted + ", one of them"};
    }
    return sectionProblem(place, *chosen, deviceConfigKeys());
}

Check valueProblem(const std::string &place, const AlarmConfig &alarms, std::optional<std::string> AlarmConfig::*field,
                   const NumberRange &)
{
    const std::optional<std::string> &program = alarms.*field;
    if (program) {
        if (std::optional<std::string> problem = programPathProblem(*program))
            return ConfigError{place, *problem};
    }
    return std::nullopt;
}

Check valueProblem(const std::string &place, const AlarmConfig &alarms, std::string AlarmConfig::*field,
                   const NumberRange &)
{
    const std::string &arguments = alarms.*field;
    if (!alarms.program && !arguments.empty())
        return ConfigError{place, "arguments without a \"program\" run nothing"};
    for (char c : arguments) {
        if (c == '\0' || c == '\r' || c == '\n')
            return ConfigError{place, "a command line cannot hold a line break or a null character"};
    }
    if (arguments.size() > kLongestArguments)
        return ConfigError{place, "longer than the " + std::to_string(kLongestArguments) +
                                      " characters a command line leaves them"};
    return std::nullopt;
}

Check valueProblem(const std::string &place, const ControlConfig &config, AlarmConfig ControlConfig::*field,
                   const NumberRange &)
{
    return sectionProblem(place, config.*field, alarmConfigKeys());
}

Check valueProblem(const std::string &place, const ControlConfig &config, HttpConfig ControlConfig::*field,
                   const NumberRange &)
{
    return sectionProblem(place, config.*field, httpConfigKeys());
}

// Each entry's fan number first, and that no other entry drives it, then the
// entry's other keys.
Check valueProblem(const std::string &place, const ControlConfig &config,
                   std::vector<FanCurveConfig> ControlConfig::*field, const NumberRange &)
{
    const std::vector<FanCurveConfig> &fans = config.*field;
    if (fans.empty())
        return ConfigError{place, "no fan named; name at least one"};
    const ConfigKey<FanCurveConfig> &fanKey = configKeyOf(fanConfigKeys(), &FanCurveConfig::fan);
    size_t entryOfFan[kFanCount];
    bool named[kFanCount] = {};
    for (size_t i = 0; i < fans.size(); ++i) {
        const std::string entryPlace = placeIndex(place, i);
        const std::string fanPlace = placeKey(entryPlace, fanKey.name);
        if (Check error = numberProblem(fanPlace, fans[i].fan, fanKey.range))
            return error;
        const int number = static_cast<int>(fans[i].fan);
        if (named[number])
            return ConfigError{fanPlace, "fan " + std::to_string(number) + " is already driven by " +
                                             placeIndex(place, entryOfFan[number])};
        named[number] = true;
        entryOfFan[number] = i;
        if (Check error = sectionProblem(entryPlace, fans[i], fanConfigKeys()))
            return error;
    }
    return std::nullopt;
}

template <class Section>
Check sectionProblem(const std::string &place, const Section &section, const ConfigKeys<Section> &keys)
{
    for (const ConfigKey<Section> &key : keys) {
        const std::string keyPlace = placeKey(place, key.name);
        Check error = std::visit(
            [&](auto field) -> Check {
                if constexpr (std::is_same_v<decltype(field), std::monostate>)
                    return std::nullopt; // no longer read
                else
                    return valueProblem(keyPlace, section, field, key.range);
            },
            key.field);
        if (error)
            return error;
    }
    return std::nullopt;
}

} // namespace

std::optional<ConfigError> validateControlConfig(const ControlConfig &config)
{
    return sectionProblem("", config, controlConfigKeys());
}
