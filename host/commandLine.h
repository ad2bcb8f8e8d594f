// vornhost's command line, driven by one table of commands: the parser
// accepts exactly the commands and options the table lists, and the usage
// text (`vornhost --help`, `vornhost COMMAND --help`) is written from the same
// table, so neither can leave a command out.
#pragma once

#include <map>
#include <string>
#include <vector>

struct Invocation;

struct OptionEntry {
    const char *name;   // "--serial"
    const char *values; // names of its values, "S" or "SECONDS FAN PERCENT"; null for a switch
    const char *help;
};

struct CommandEntry {
    const char *name;      // "read-device"
    const char *arguments; // "[N]"; "" for none
    int minArguments, maxArguments;
    const char *summary; // one or more lines, each ending in '\n'
    std::vector<OptionEntry> options;
    int (*run)(const Invocation &);
};

// What the parser made of a command line.
struct Invocation {
    std::string pluginPath;
    const CommandEntry *command = nullptr;
    std::vector<std::string> arguments;
    std::map<std::string, std::vector<std::string>> options; // name -> its values

    bool has(const char *option) const { return options.count(option) != 0; }
    // The option's first value, or `fallback` when it was not given.
    std::string value(const char *option, const std::string &fallback = std::string()) const;
};

// The program's usage: global options and every command with its arguments
// and options.
std::string usageText(const std::vector<CommandEntry> &commands);
// One command's usage.
std::string commandUsage(const CommandEntry &command);

// Parses argv. Returns -1 when the command should run; otherwise the exit
// code, after printing the usage (--help: 0) or what was wrong (2).
// The global options --plugin PATH and --help are accepted anywhere; the
// command defaults to the table's first entry.
int parseCommandLine(int argc, char **argv, const std::vector<CommandEntry> &commands, Invocation &out);

// Reads a whole decimal number (optional sign); false for anything else.
bool readNumber(const std::string &text, long &out);
