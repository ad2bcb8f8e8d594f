// The two text formats the meters produce, written without the C library's
// printf machinery (no locale, no varargs): a meter call costs less than the
// formatting alone would. Both write a zero-terminated text and return its
// length (without the zero).
#pragma once

#include <cstdint>

// The longest text either function writes, terminating zero included.
constexpr int kMaxValueText = 12;

// What "%d" writes for the value: at most 11 characters.
int formatDecimal(char *out, int32_t value);

// What "%4.1f" writes for halfDegrees * 0.5: at least four characters, padded
// with blanks on the left, one digit after the point (at most 5 characters).
int formatHalfDegrees(char *out, int8_t halfDegrees);
