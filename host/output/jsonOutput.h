// vornhost's machine-readable output, built with nlohmann/json: one compact
// document per line, members in the order they were added (as README.md
// shows them), a number that is not finite written as null.
#pragma once

#include <nlohmann/json.hpp>

#include <string>

using JsonDocument = nlohmann::ordered_json;

// An 8-bit text of the plug-in or the driver as a JSON string, read as
// Latin-1 (host/output/latin1Text.h).
JsonDocument jsonText(const std::string &latin1);

// Prints the document on one line of standard output, flushed at once.
void printJsonLine(const JsonDocument &document);
