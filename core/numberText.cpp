#include "core/numberText.h"

#include <charconv>

std::string numberText(double value)
{
    char text[32]; // the longest shortest form of a double is 24 characters
    const std::to_chars_result result = std::to_chars(text, text + sizeof text, value);
    return std::string(text, result.ptr);
}
