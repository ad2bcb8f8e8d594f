// Where in the fan-control configuration a value stands, named the way every
// message names it: "interval", "fans", "fans[1]", "fans[1].points[2]",
// "fans[0].plausible.low". The validation in control/ and the JSON reading in
// the host build their places with these functions, so that all messages
// about one configuration speak one language.
#pragma once

#include <cstddef>
#include <string>

// "parent.key", or "key" at the top level (empty parent).
std::string placeKey(const std::string &parent, const char *key);

// "parent[index]".
std::string placeIndex(const std::string &parent, size_t index);

// What is wrong with a configuration, and where.
struct ConfigError {
    std::string place; // empty for the document as a whole (malformed JSON)
    std::string message;
};

// "place: message", or the message alone when the place is empty.
std::string configErrorText(const ConfigError &error);
