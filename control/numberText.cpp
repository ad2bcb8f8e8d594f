#include "control/numberText.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

// The fewest digits (decimals for "%.*f", significant ones for "%.*g") with
// which the text reads back as the value; false when 17 are not enough.
bool shortest(char (&text)[64], const char *format, double value)
{
    for (int digits = 0; digits <= 17; ++digits) {
        std::snprintf(text, sizeof text, format, digits, value);
        if (std::strtod(text, nullptr) == value)
            return true;
    }
    return false;
}

} // namespace

// printf's forms, not std::to_chars: the latter's tables would add some 190 KB
// to vornhost, whose JSON library formats numbers its own way. printf and
// strtod follow the C locale, which vornhost never changes.
std::string numberText(double value)
{
    if (std::isnan(value))
        return "nan";
    if (std::isinf(value))
        return value < 0 ? "-inf" : "inf";
    char text[64];
    // Plain decimals for everything a configuration holds; exponents only
    // for the far ends (at most 16 digits before the point fit the buffer).
    if (std::fabs(value) < 1e15 && shortest(text, "%.*f", value))
        return text;
    shortest(text, "%.*g", value); // 17 significant digits always read back
    return text;
}
