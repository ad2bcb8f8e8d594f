// The device a command names on its command line: a device number (the
// argument N, or --device N) or a serial number (--serial S).
#pragma once

#include <optional>
#include <string>

struct DeviceChoice {
    std::string command; // the command's name, for messages
    std::optional<int> number;
    std::optional<std::string> serial;
};
