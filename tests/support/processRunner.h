// Runs a program of the build folder and collects what it prints.
#pragma once

#include <string>

struct ProgramRun {
    int exitCode = -1;  // -1: could not start or did not end in time
    std::string output; // standard output and standard error together
};

ProgramRun runProgram(const std::string &commandLine, unsigned timeoutMs = 60000);
