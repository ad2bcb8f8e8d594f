// Runs a program of the build folder and collects what it prints.
#pragma once

#include <atomic>
#include <string>
#include <vector>

struct ProgramRun {
    int exitCode = -1;  // -1: could not start or did not end in time
    std::string output; // standard output and standard error together
};

// `creationFlags` go to CreateProcess (CREATE_NEW_PROCESS_GROUP, ...);
// `processId`, when given, gets the program's id as soon as it runs.
ProgramRun runProgram(const std::string &commandLine, unsigned timeoutMs = 60000, unsigned long creationFlags = 0,
                      std::atomic<unsigned long> *processId = nullptr);

// The lines of a program's output (or any text), without their line ends.
std::vector<std::string> linesOf(const std::string &text);
