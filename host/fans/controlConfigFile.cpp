#include "host/fans/controlConfigFile.h"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <fstream>
#include <initializer_list>
#include <iterator>

#include "host/fans/controlReport.h"
#include "host/fans/jsonShape.h"

namespace {

using Json = nlohmann::ordered_json; // keys in the order written: the first error is the first one met

// Unwinds the reading to readControlConfig at the first error.
[[noreturn]] void fail(const std::string &place, const std::string &message)
{
    throw ConfigError{place, message};
}

// The value as it was written, shortened: "\"3\"", "true", "[1,2]".
std::string shown(const Json &value)
{
    std::string text = value.dump(-1, ' ', false, Json::error_handler_t::replace);
    return text.size() > 40 ? text.substr(0, 37) + "..." : text;
}

// An object with no keys but the known ones.
void checkObject(const Json &value, const std::string &place, std::initializer_list<const char *> known)
{
    std::string list;
    for (const char *key : known)
        list += std::string(list.empty() ? "" : ", ") + key;
    if (!value.is_object())
        fail(place, "needs an object with " + list + ", not " + shown(value));
    for (auto member = value.begin(); member != value.end(); ++member) {
        bool isKnown = false;
        for (const char *key : known)
            isKnown = isKnown || member.key() == key;
        if (!isKnown)
            fail(placeKey(place, member.key().c_str()), "unknown key (known here: " + list + ")");
    }
}

const Json &required(const Json &object, const std::string &place, const char *key)
{
    const auto member = object.find(key);
    if (member == object.end())
        fail(place, std::string("\"") + key + "\" is missing");
    return *member;
}

double number(const Json &value, const std::string &place)
{
    if (!value.is_number())
        fail(place, "needs a number, not " + shown(value));
    return value.get<double>();
}

// A key that may be left out: `out` keeps its default then.
template <class Number>
void optionalNumber(const Json &object, const std::string &parent, const char *key, Number &out)
{
    const auto member = object.find(key);
    if (member != object.end())
        out = number(*member, placeKey(parent, key));
}

const Json &list(const Json &value, const std::string &place, const char *items)
{
    if (!value.is_array())
        fail(place, std::string("needs a list of ") + items + ", not " + shown(value));
    return value;
}

std::vector<std::string> sensorsFrom(const Json &value, const std::string &place)
{
    std::vector<std::string> names;
    for (const Json &name : list(value, place, "sensor names [\"digital3\", ...]")) {
        if (!name.is_string())
            fail(placeIndex(place, names.size()), "needs a sensor name such as \"digital3\", not " + shown(name));
        names.push_back(name.get<std::string>());
    }
    return names;
}

std::vector<CurvePoint> pointsFrom(const Json &value, const std::string &place)
{
    std::vector<CurvePoint> points;
    for (const Json &point : list(value, place, "points [[celsius, percent], ...]")) {
        const std::string pointPlace = placeIndex(place, points.size());
        if (!point.is_array() || point.size() != 2 || !point[0].is_number() || !point[1].is_number())
            fail(pointPlace, "needs [celsius, percent], two numbers, not " + shown(point));
        points.push_back({point[0].get<double>(), point[1].get<double>()});
    }
    return points;
}

FanCurveConfig fanFrom(const Json &entry, const std::string &place)
{
    checkObject(entry, place,
                {"fan", "sensors", "points", "hysteresis", "maxStepDown", "minimum", "start", "critical", "failsafe",
                 "onExit", "plausible"});
    FanCurveConfig fan;
    fan.fan = number(required(entry, place, "fan"), placeKey(place, "fan"));
    fan.sensors = sensorsFrom(required(entry, place, "sensors"), placeKey(place, "sensors"));
    fan.points = pointsFrom(required(entry, place, "points"), placeKey(place, "points"));
    optionalNumber(entry, place, "hysteresis", fan.hysteresis);
    optionalNumber(entry, place, "maxStepDown", fan.maxStepDown);
    optionalNumber(entry, place, "minimum", fan.minimum);
    optionalNumber(entry, place, "start", fan.start);
    optionalNumber(entry, place, "critical", fan.critical);
    optionalNumber(entry, place, "failsafe", fan.failsafe);
    optionalNumber(entry, place, "onExit", fan.onExit);
    const auto plausible = entry.find("plausible");
    if (plausible != entry.end()) {
        const std::string plausiblePlace = placeKey(place, "plausible");
        checkObject(*plausible, plausiblePlace, {"low", "high"});
        optionalNumber(*plausible, plausiblePlace, "low", fan.plausible.low);
        optionalNumber(*plausible, plausiblePlace, "high", fan.plausible.high);
    }
    return fan;
}

DeviceConfig deviceFrom(const Json &value)
{
    checkObject(value, "device", {"serial", "number"});
    DeviceConfig device;
    const auto serial = value.find("serial");
    if (serial != value.end()) {
        if (!serial->is_string())
            fail("device.serial", "needs a serial number such as \"VORN0000\", not " + shown(*serial));
        device.serial = serial->get<std::string>();
    }
    const auto number = value.find("number");
    if (number != value.end())
        device.number = ::number(*number, "device.number");
    return device;
}

AlarmConfig alarmsFrom(const Json &value)
{
    // The command line of earlier versions, which Windows searched for its
    // program: said apart from an unknown key, so that its writer learns
    // what replaces it.
    if (value.is_object() && value.contains("command"))
        fail("alarms.command",
             "no longer read: name the program by its full path in \"program\" and its arguments in "
             "\"arguments\", e.g. {\"program\": \"C:\\\\Windows\\\\System32\\\\cmd.exe\", "
             "\"arguments\": \"/c C:\\\\VORN\\\\notify.cmd\"}");
    checkObject(value, "alarms", {"program", "arguments", "repeatMinutes", "lostSeconds"});
    AlarmConfig alarms;
    const auto program = value.find("program");
    if (program != value.end()) {
        if (!program->is_string())
            fail("alarms.program",
                 "needs a program's full path such as \"C:\\\\Windows\\\\System32\\\\cmd.exe\", not " +
                     shown(*program));
        alarms.program = program->get<std::string>();
    }
    const auto arguments = value.find("arguments");
    if (arguments != value.end()) {
        if (!arguments->is_string())
            fail("alarms.arguments", "needs the program's arguments as one text, not " + shown(*arguments));
        alarms.arguments = arguments->get<std::string>();
    }
    optionalNumber(value, "alarms", "repeatMinutes", alarms.repeatMinutes);
    optionalNumber(value, "alarms", "lostSeconds", alarms.lostSeconds);
    return alarms;
}

ControlConfig configFrom(const Json &document)
{
    checkObject(document, "", {"interval", "device", "fans", "alarms", "logDays"});
    ControlConfig config;
    optionalNumber(document, "", "interval", config.interval);
    const auto device = document.find("device");
    if (device != document.end())
        config.device = deviceFrom(*device);
    for (const Json &entry : list(required(document, "", "fans"), "fans", "fans [{\"fan\": 0, ...}, ...]"))
        config.fans.push_back(fanFrom(entry, placeIndex("fans", config.fans.size())));
    const auto alarms = document.find("alarms");
    if (alarms != document.end())
        config.alarms = alarmsFrom(*alarms);
    optionalNumber(document, "", "logDays", config.logDays);
    return config;
}

bool readText(const std::string &path, std::string &text, ConfigError &error)
{
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = {"", "cannot read the file"};
        return false;
    }
    text.assign((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    return true;
}

} // namespace

bool readControlConfig(const std::string &path, ControlConfig &config, ConfigError &error)
{
    std::string text;
    return readText(path, text, error) && parseControlConfig(text, config, error);
}

bool parseControlConfig(const std::string &text, ControlConfig &config, ConfigError &error)
{
    if (std::optional<ConfigError> shape = checkJsonShape(text)) {
        error = *shape;
        return false;
    }
    try {
        config = configFrom(Json::parse(text));
    } catch (const ConfigError &thrown) {
        error = thrown;
        return false;
    } catch (const std::exception &thrown) {
        // Whatever else the library throws: its own exceptions all derive
        // from std::exception.
        error = {"", jsonErrorText(thrown)};
        return false;
    }
    if (const std::optional<ConfigError> invalid = validateControlConfig(config)) {
        error = *invalid;
        return false;
    }
    return true;
}

bool loadControlConfig(const std::string &path, ControlConfig &config)
{
    std::string text;
    return loadControlConfig(path, config, text);
}

bool loadControlConfig(const std::string &path, ControlConfig &config, std::string &text)
{
    ConfigError error;
    if (readText(path, text, error) && parseControlConfig(text, config, error))
        return true;
    std::fprintf(stderr, "vornhost: %s: %s\n", path.c_str(), consoleText(configErrorText(error)).c_str());
    return false;
}
