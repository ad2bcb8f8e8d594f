#include "control/sensorName.h"

namespace {

const char kDigital[] = "digital";
const char kAnalog[] = "analog";

// The one digit after the prefix, when it is all that follows and below count.
std::optional<int> digitAfter(const std::string &name, const std::string &prefix, int count)
{
    if (name.size() != prefix.size() + 1 || name.compare(0, prefix.size(), prefix) != 0)
        return std::nullopt;
    const int digit = name.back() - '0';
    if (digit < 0 || digit >= count)
        return std::nullopt;
    return digit;
}

} // namespace

std::optional<int> sensorNumber(const std::string &name)
{
    if (const std::optional<int> digital = digitAfter(name, kDigital, kDigitalSensorCount))
        return digital;
    if (const std::optional<int> analog = digitAfter(name, kAnalog, kAnalogSensorCount))
        return kDigitalSensorCount + *analog;
    return std::nullopt;
}

std::string sensorName(int number)
{
    if (number < kDigitalSensorCount)
        return kDigital + std::to_string(number);
    return kAnalog + std::to_string(number - kDigitalSensorCount);
}
