// A reading in vornhost's CSV logs (`watch --csv`, `control --csv`): the
// header line and one row per reading, both without the line end.
#pragma once

#include <string>

#include "host/output/reading.h"

// The time is the row's first column, the error text its last.
std::string csvHeader();
std::string csvRow(const std::string &time, const Reading &reading);
// The temperatures' part of both, for logs of other columns (control --csv):
// ",digital0,...,analog5", and the reading's cells for them, each after a
// comma, all empty when it failed.
std::string csvTemperatureHeader();
std::string csvTemperatureCells(const Reading &reading);
// A text as one CSV field: in double quotes when it holds a comma, a quote
// or a line end.
std::string csvField(const std::string &text);
