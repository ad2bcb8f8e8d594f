#include "host/cli/wholeNumberOption.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <string>

CLI::Validator wholeNumber(long low, long high)
{
    const std::string range = "a whole number from " + std::to_string(low) + " to " + std::to_string(high);
    return CLI::Validator(
        [low, high, range](std::string &text) -> std::string {
            char *end = nullptr;
            errno = 0;
            const long value = std::strtol(text.c_str(), &end, 10);
            const bool whole =
                !text.empty() && errno == 0 && *end == '\0' && std::isdigit(static_cast<unsigned char>(text.back()));
            if (!whole || value < low || value > high)
                return "needs " + range + ", not '" + text + "'";
            text = std::to_string(value);
            return std::string();
        },
        std::string());
}
