#include "host/cli/commandSet.h"

#include <cstdio>

#include "host/cli/usageFormatter.h"

namespace {

const char kDescription[] =
    "Loads a meter plug-in (default: VORN.dll beside this program) as the desktop\n"
    "host does and prints what it would show; finds and checks the controller.";

} // namespace

CommandSet::CommandSet(const std::string &defaultPluginPath) : app_(kDescription, "vornhost")
{
    pluginPath_ = defaultPluginPath;
    app_.formatter(std::make_shared<UsageFormatter>());
    app_.set_help_flag("--help,-h", "this text; after a command, that command's usage");
    app_.add_option("--plugin", pluginPath_, "the plug-in to load")->type_name("PATH");
    app_.require_subcommand(0, 1);
    // CLI11 takes "/name" for an option on Windows; vornhost has none, and a
    // path such as /tmp/log.csv (as Wine passes it) is an argument.
    app_.allow_windows_style_options(false);
    // The global options are taken after a command's name too.
    app_.fallthrough();
}

CLI::App *CommandSet::add(const std::string &name, const std::string &summary, int (*run)(const std::string &))
{
    return addCommand(name, summary, run);
}

CLI::App *CommandSet::addCommand(const std::string &name, const std::string &summary,
                                 std::function<int(const std::string &)> run)
{
    CLI::App *command = app_.add_subcommand(name, summary);
    commands_.emplace_back(command, std::move(run));
    return command;
}

int CommandSet::run(int argc, char **argv)
{
    try {
        app_.parse(argc, argv);
    } catch (const CLI::CallForHelp &) {
        // The usage of the command named, or the whole usage.
        std::fputs(app_.help().c_str(), stdout);
        return 0;
    } catch (const CLI::ParseError &error) {
        return usageError(error);
    }
    for (const auto &command : commands_) {
        if (command.first->parsed())
            return command.second(pluginPath_);
    }
    return commands_.front().second(pluginPath_);
}

int CommandSet::usageError(const CLI::ParseError &error)
{
    const std::vector<CLI::App *> named = app_.get_subcommands();
    const CLI::App *command = named.empty() ? nullptr : named.front();
    std::string what = error.what();
    const std::vector<std::string> extra = app_.remaining(true);
    if (dynamic_cast<const CLI::ExtrasError *>(&error) != nullptr && !extra.empty()) {
        if (command != nullptr)
            what = command->get_name() + " does not understand '" + extra.front() + "'";
        else
            what =
                std::string(extra.front()[0] == '-' ? "unknown option '" : "unknown command '") + extra.front() + "'";
    }
    std::fprintf(stderr, "vornhost: %s\n", what.c_str());
    if (command != nullptr)
        std::fprintf(stderr, "\n%s", commandUsage(*command).c_str());
    else
        std::fprintf(stderr, "Run vornhost --help for the commands.\n");
    return 2;
}
