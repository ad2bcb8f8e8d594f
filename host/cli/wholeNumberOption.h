// The check of vornhost's numeric options and arguments (--count N,
// --device N, ...): a whole decimal number within a range.
#pragma once

#include <CLI/CLI.hpp>

// Accepts a whole decimal number (an optional sign, no other base) from
// `low` to `high` and leaves it in plain decimal for CLI11 to convert, so
// that "010" is ten and "0x10" is refused: give it as a transform, not a
// check (whose changes CLI11 drops). Otherwise the message says what
// was wanted, after the option's name: "--count: needs a whole number from
// 1 to 2147483647, not '0'".
CLI::Validator wholeNumber(long low, long high);
