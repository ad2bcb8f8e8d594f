#include "control/configPlace.h"

std::string placeKey(const std::string &parent, const char *key)
{
    return parent.empty() ? std::string(key) : parent + '.' + key;
}

std::string placeIndex(const std::string &parent, size_t index)
{
    return parent + '[' + std::to_string(index) + ']';
}

std::string configErrorText(const ConfigError &error)
{
    return error.place.empty() ? error.message : error.place + ": " + error.message;
}
