// Every key of the control configuration, once: one table per section (the
// top level, "device", each entry of "fans", its "plausible", "alarms",
// "http")
// names each key, the member it fills (whose type is the key's kind), whether
// it must be given, and for a number the range it must lie in. The reader in
// the host (host/fans/controlConfigFile.cpp) walks these tables to read the
// JSON and name unknown keys; validateControlConfig walks them to check the
// values. Both name a value's place from them ("fans[0].maxStepDown"), so a
// key's name is written here alone.
#pragma once

#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "control/controlConfig.h"

// What a number measures, which sets the words of its error.
enum class Measure {
    Seconds,       // "5000 is not from 1 to 3600 seconds"
    Minutes,       // "... minutes"
    Days,          // "0 is not a whole number of days from 1 to 366"
    Percent,       // "0 is not a whole percent from 1 to 100"
    Celsius,       // "temperature 70 is outside what the controller reports (-64 to 63.5 °C)"
    CelsiusMargin, // "-1 is not 0 °C or more"
    Fan,           // "4 is not a fan of the controller (0 to 3)"
    DeviceNumber,  // "-1 is not a device number (0 to 2147483647)"
    Port,          // "0 is not a port number (1 to 65535)"
};

// The values a number key takes: from low to high, whole for a count, a
// percent, a fan or a device; high is ignored for a margin.
struct NumberRange {
    Measure measure = Measure::Seconds;
    double low = 0;
    double high = 0;
};

// The member a key fills, its kind. std::monostate is a key no longer read.
template <class Section>
using ConfigField =
    std::variant<std::monostate, double Section::*, std::optional<double> Section::*, std::string Section::*,
                 std::optional<std::string> Section::*, std::vector<std::string> Section::*,
                 std::vector<CurvePoint> Section::*, PlausibleRange Section::*, std::optional<DeviceConfig> Section::*,
                 std::vector<FanCurveConfig> Section::*, AlarmConfig Section::*, HttpConfig Section::*>;

template <class Section>
struct ConfigKey {
    const char *name;
    ConfigField<Section> field;
    bool required;
    // What a text or a list must be, for "needs ..., not ...": "a serial
    // number such as \"VORN0000\"", "sensor names [...]" (after "a list of").
    const char *shape;
    NumberRange range;
    // For a key no longer read: what replaces it.
    const char *retired;

    ConfigKey(const char *name, ConfigField<Section> field, bool required = false, const char *shape = "",
              NumberRange range = {}, const char *retired = "")
        : name(name), field(field), required(required), shape(shape), range(range), retired(retired)
    {
    }
};

template <class Section>
using ConfigKeys = std::vector<ConfigKey<Section>>;

// The tables, each in the order the file is read and checked.
const ConfigKeys<ControlConfig> &controlConfigKeys();
const ConfigKeys<DeviceConfig> &deviceConfigKeys();
const ConfigKeys<FanCurveConfig> &fanConfigKeys();
const ConfigKeys<PlausibleRange> &plausibleRangeKeys();
const ConfigKeys<AlarmConfig> &alarmConfigKeys();
const ConfigKeys<HttpConfig> &httpConfigKeys();

// The key that fills `field`; the table holds it.
template <class Section, class Member>
const ConfigKey<Section> &configKeyOf(const ConfigKeys<Section> &keys, Member Section::*field)
{
    for (const ConfigKey<Section> &key : keys) {
        const auto *member = std::get_if<Member Section::*>(&key.field);
        if (member && *member == field)
            return key;
    }
    return keys.front(); // not reached: every member a check asks for has its key
}

// The names of a section's keys still read: "interval, device, fans, ...".
template <class Section>
std::string configKeyList(const ConfigKeys<Section> &keys, const char *separator = ", ")
{
    std::string list;
    for (const ConfigKey<Section> &key : keys) {
        if (!std::holds_alternative<std::monostate>(key.field))
            list += (list.empty() ? "" : separator) + std::string(key.name);
    }
    return list;
}
