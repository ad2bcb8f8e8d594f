// Decimal text to a signed 32-bit number, the way the C library's strtol reads
// a base-10 number, but with 32-bit wrap-around instead of clamping: leading
// white space, one optional sign, digits up to the first other character, and
// 0 when there are no digits. A null text reads as the empty text.
#pragma once

#include <cstdint>

int32_t textToLong(const char *text);
