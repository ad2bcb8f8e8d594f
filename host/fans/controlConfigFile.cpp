#include "host/fans/controlConfigFile.h"

#include <nlohmann/json.hpp>

#include <fstream>
#include <iterator>
#include <type_traits>
#include <variant>

#include "control/configKeys.h"
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

// An object with no keys but those the section's table reads; a key no
// longer read is said apart, with what replaces it.
template <class Section>
void checkObject(const Json &value, const std::string &place, const ConfigKeys<Section> &keys)
{
    const std::string list = configKeyList(keys);
    if (value.is_object()) {
        for (const ConfigKey<Section> &key : keys) {
            if (std::holds_alternative<std::monostate>(key.field) && value.contains(key.name))
                fail(placeKey(place, key.name), key.retired);
        }
    }
    if (!value.is_object())
        fail(place, "needs an object with " + list + ", not " + shown(value));
    for (auto member = value.begin(); member != value.end(); ++member) {
        bool isKnown = false;
        for (const ConfigKey<Section> &key : keys)
            isKnown = isKnown || (member.key() == key.name && !std::holds_alternative<std::monostate>(key.field));
        if (!isKnown)
            fail(placeKey(place, member.key().c_str()), "unknown key (known here: " + list + ")");
    }
}

double number(const Json &value, const std::string &place)
{
    if (!value.is_number())
        fail(place, "needs a number, not " + shown(value));
    return value.get<double>();
}

std::string text(const Json &value, const std::string &place, const char *shape)
{
    if (!value.is_string())
        fail(place, std::string("needs ") + shape + ", not " + shown(value));
    return value.get<std::string>();
}

const Json &list(const Json &value, const std::string &place, const char *items)
{
    if (!value.is_array())
        fail(place, std::string("needs a list of ") + items + ", not " + shown(value));
    return value;
}

template <class Section>
Section sectionFrom(const Json &value, const std::string &place, const ConfigKeys<Section> &keys);

// One key's value into its member, by the member's kind.
void readValue(const Json &value, const std::string &place, const char *, double &out)
{
    out = number(value, place);
}

void readValue(const Json &value, const std::string &place, const char *, std::optional<double> &out)
{
    out = number(value, place);
}

void readValue(const Json &value, const std::string &place, const char *shape, std::string &out)
{
    out = text(value, place, shape);
}

void readValue(const Json &value, const std::string &place, const char *shape, std::optional<std::string> &out)
{
    out = text(value, place, shape);
}

void readValue(const Json &value, const std::string &place, const char *shape, std::vector<std::string> &names)
{
    for (const Json &name : list(value, place, shape)) {
        if (!name.is_string())
            fail(placeIndex(place, names.size()), "needs a sensor name such as \"digital3\", not " + shown(name));
        names.push_back(name.get<std::string>());
    }
}

void readValue(const Json &value, const std::string &place, const char *shape, std::vector<CurvePoint> &points)
{
    for (const Json &point : list(value, place, shape)) {
        const std::string pointPlace = placeIndex(place, points.size());
        if (!point.is_array() || point.size() != 2 || !point[0].is_number() || !point[1].is_number())
            fail(pointPlace, "needs [celsius, percent], two numbers, not " + shown(point));
        points.push_back({point[0].get<double>(), point[1].get<double>()});
    }
}

void readValue(const Json &value, const std::string &place, const char *, PlausibleRange &out)
{
    out = sectionFrom(value, place, plausibleRangeKeys());
}

void readValue(const Json &value, const std::string &place, const char *, std::optional<DeviceConfig> &out)
{
    out = sectionFrom(value, place, deviceConfigKeys());
}

void readValue(const Json &value, const std::string &place, const char *, AlarmConfig &out)
{
    out = sectionFrom(value, place, alarmConfigKeys());
}

void readValue(const Json &value, const std::string &place, const char *, HttpConfig &out)
{
    out = sectionFrom(value, place, httpConfigKeys());
}

void readValue(const Json &value, const std::string &place, const char *shape, std::vector<FanCurveConfig> &fans)
{
    for (const Json &entry : list(value, place, shape))
        fans.push_back(sectionFrom(entry, placeIndex(place, fans.size()), fanConfigKeys()));
}

// A kind that no key of the section has.
template <class Member>
void readValue(const Json &, const std::string &, const char *, Member &)
{
}

// The section's keys in the table's order: a key left out keeps the
// member's default, a required one left out is the error.
template <class Section>
Section sectionFrom(const Json &value, const std::string &place, const ConfigKeys<Section> &keys)
{
    checkObject(value, place, keys);
    Section section;
    for (const ConfigKey<Section> &key : keys) {
        if (std::holds_alternative<std::monostate>(key.field))
            continue;
        const auto member = value.find(key.name);
        if (member == value.end()) {
            if (key.required)
                fail(place, std::string("\"") + key.name + "\" is missing");
            continue;
        }
        std::visit(
            [&](auto field) {
                if constexpr (!std::is_same_v<decltype(field), std::monostate>)
                    readValue(*member, placeKey(place, key.name), key.shape, section.*field);
            },
            key.field);
    }
    return section;
}

} // namespace

bool readControlConfigText(const std::string &path, std::string &text, ConfigError &error)
{
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = {"", "cannot read the file"};
        return false;
    }
    text.assign((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    return true;
}

bool readControlConfig(const std::string &path, ControlConfig &config, ConfigError &error)
{
    std::string text;
    return readControlConfigText(path, text, error) && parseControlConfig(text, config, error);
}

bool parseControlConfig(const std::string &text, ControlConfig &config, ConfigError &error)
{
    if (std::optional<ConfigError> shape = checkJsonShape(text)) {
        error = *shape;
        return false;
    }
    try {
        config = sectionFrom(Json::parse(text), "", controlConfigKeys());
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
