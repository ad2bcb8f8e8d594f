// Numbers in the fan control's messages: the shortest text that reads back as
// the same value, with a point whatever the locale ("63.5", "-64", "70").
#pragma once

#include <string>

std::string numberText(double value);
