// vornhost's command line, on CLI11: the global options (--plugin PATH,
// --help) and one subcommand per command, each with its options bound to an
// options struct of its own and the function that runs it. The usage
// (`vornhost --help`, `vornhost COMMAND --help`, the usage after a mistake)
// is written from the same subcommands by host/cli/usageFormatter, so no
// command or option can be missing from it.
#pragma once

#include <CLI/CLI.hpp>

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class CommandSet {
public:
    explicit CommandSet(const std::string &defaultPluginPath);

    // Registers a command whose options are bound into an Options of its
    // own: returns the subcommand, to add them to, and that Options. `run`
    // gets the plug-in's path and the options once the line is parsed. The
    // first command registered is the one that runs when none is named.
    template <class Options>
    std::pair<CLI::App *, Options *> add(const std::string &name, const std::string &summary,
                                         int (*run)(const std::string &pluginPath, const Options &))
    {
        auto options = std::make_shared<Options>();
        CLI::App *command =
            addCommand(name, summary, [options, run](const std::string &plugin) { return run(plugin, *options); });
        return {command, options.get()};
    }
    // A command without options.
    CLI::App *add(const std::string &name, const std::string &summary, int (*run)(const std::string &pluginPath));

    // Parses the command line and runs the command. The exit code: the
    // command's own; 0 after --help; 2 after a usage error, which is printed
    // with the command's usage.
    int run(int argc, char **argv);

private:
    CLI::App *addCommand(const std::string &name, const std::string &summary,
                         std::function<int(const std::string &)> run);
    int usageError(const CLI::ParseError &error);

    CLI::App app_;
    std::string pluginPath_;
    std::vector<std::pair<CLI::App *, std::function<int(const std::string &)>>> commands_;
};
