// The machine and the moment of a run, as Windows (here: Wine) reports them.
#pragma once

#include <string>

// Several lines: processor name and count, memory, Windows and Wine version.
std::string describeMachine();

// "2024-05-01 14:03:07 UTC".
std::string currentDate();
