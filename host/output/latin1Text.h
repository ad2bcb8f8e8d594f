// The plug-in's texts and the bridge driver's device names are 8-bit, in no
// declared code page; vornhost reads them as Latin-1 wherever it writes
// UTF-8 (JSON, SVG), so every byte stays a character and the output stays
// valid UTF-8.
#pragma once

#include <string>

std::string latin1ToUtf8(const std::string &text);
