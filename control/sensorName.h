// The controller's fourteen temperature sensors as the fan-control
// configuration names them: "digital0" to "digital7", then "analog0" to
// "analog5". A sensor's number is its place in that order, the order in which
// the status frame carries the temperatures (docs/protocol.md).
#pragma once

#include <optional>
#include <string>

#include "core/statusFrame.h"

constexpr int kSensorCount = kDigitalSensorCount + kAnalogSensorCount;

// The sensor's number (0-13) for its name, exactly as written above
// (lower case, no leading zeros or blanks); none for anything else.
std::optional<int> sensorNumber(const std::string &name);

// The name of sensor 0-13.
std::string sensorName(int number);
