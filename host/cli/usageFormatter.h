// vornhost's usage, written by CLI11 from the registered subcommands in one
// layout: the synopsis "  vornhost NAME ARGUMENTS [OPTION VALUES]..." wrapped
// at 79 columns (an option and its values never split), the command's summary
// under it, then one line per option. `vornhost --help` puts the global
// options before every command's usage; README.md's command table repeats
// the synopses, and a test holds the two equal.
#pragma once

#include <CLI/CLI.hpp>

#include <string>

class UsageFormatter : public CLI::Formatter {
public:
    std::string make_help(const CLI::App *app, std::string name, CLI::AppFormatMode mode) const override;
};

// One command's usage: synopsis, summary, options.
std::string commandUsage(const CLI::App &command);
