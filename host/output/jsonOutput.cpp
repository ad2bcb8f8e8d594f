#include "host/output/jsonOutput.h"

#include <cstdio>

#include "host/output/latin1Text.h"

JsonDocument jsonText(const std::string &latin1)
{
    return latin1ToUtf8(latin1);
}

void printJsonLine(const JsonDocument &document)
{
    // Every text went through jsonText, so it is valid UTF-8; should one
    // not have, a replacement character is better than no output at all.
    const std::string line = document.dump(-1, ' ', false, JsonDocument::error_handler_t::replace);
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}
