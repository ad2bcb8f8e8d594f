// Numbers in the fan control's messages: the shortest text that reads back as
// the same value ("63.5", "-64", "70", "0.1"; "nan", "inf", "-inf").
#pragma once

#include <string>

std::string numberText(double value);
