// `vornhost watch`'s table of one reading: a head line with the seconds into
// the watch and the state, the temperatures and the fans, and a note line;
// always kReadingTableLines lines, the readings' lines left empty when the
// reading failed.
#pragma once

#include <string>

#include "host/output/reading.h"

constexpr int kReadingTableLines = 9;

// Each line at least 72 characters wide; with a console width (not 0)
// exactly that wide, cut or padded (host/output/consoleTable.h).
void printReadingTable(const Reading &reading, int second, const std::string &note, int consoleWidth);
