#include "host/cli/usageFormatter.h"

#include <vector>

namespace {

constexpr size_t kWidth = 79;
constexpr size_t kHelpColumn = 32;
constexpr size_t kSynopsisIndent = 12;
constexpr size_t kGlobalHelpColumn = 18;

// Words of `text` after `prefix`, wrapped at kWidth; continuation lines are
// indented to `indent`.
std::string wrapped(std::string prefix, const std::string &text, size_t indent)
{
    std::string out;
    std::string line = std::move(prefix);
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(' ', start);
        if (end == std::string::npos)
            end = text.size();
        const std::string word = text.substr(start, end - start);
        const bool lineEmpty = line.find_first_not_of(' ') == std::string::npos;
        if (!lineEmpty && line.size() + 1 + word.size() > kWidth) {
            out += line + "\n";
            line = std::string(indent, ' ');
        }
        if (line.find_first_not_of(' ') != std::string::npos && line.back() != ' ')
            line += ' ';
        line += word;
        start = end + 1;
    }
    return out + line + "\n";
}

// The options a usage lists: all but --help, which every command has.
std::vector<const CLI::Option *> listedOptions(const CLI::App &app, bool positional)
{
    const CLI::Option *help = app.get_help_ptr();
    return app.get_options(
        [&](const CLI::Option *option) { return option != help && option->get_positional() == positional; });
}

// "--serial S", "--set-fan-after SECONDS FAN PERCENT", "--json".
std::string optionWithValues(const CLI::Option &option)
{
    const std::string values = option.get_type_size_max() > 0 ? option.get_type_name() : std::string();
    return option.get_name() + (values.empty() ? "" : " " + values);
}

// The option's line: its name and values, then its help from `column` on.
std::string optionLine(const CLI::Option &option, size_t indent, size_t column)
{
    std::string line = std::string(indent, ' ') + optionWithValues(option);
    if (line.size() + 2 <= column)
        line.resize(column, ' ');
    else
        line += "\n" + std::string(column, ' ');
    const size_t lineStart = line.rfind('\n') == std::string::npos ? 0 : line.rfind('\n') + 1;
    return line.substr(0, lineStart) + wrapped(line.substr(lineStart), option.get_description(), column);
}

std::string globalUsage(const CLI::App &app)
{
    std::string text = "Usage: vornhost [--plugin PATH] [COMMAND [ARGUMENTS] [OPTIONS]]\n\n" + app.get_description() +
                       "\n\nGlobal options:\n";
    for (const CLI::Option *option : listedOptions(app, false))
        text += optionLine(*option, 2, kGlobalHelpColumn);
    text += optionLine(*app.get_help_ptr(), 2, kGlobalHelpColumn);
    text += "\nCommands:\n";
    const std::vector<const CLI::App *> commands = app.get_subcommands([](const CLI::App *) { return true; });
    for (const CLI::App *command : commands)
        text += commandUsage(*command) + "\n";
    if (!commands.empty())
        text += "Without a command, vornhost runs " + commands.front()->get_name() + ".\n";
    return text;
}

} // namespace

std::string commandUsage(const CLI::App &command)
{
    // The synopsis: the arguments ("FAN", "[N]"), then the options, in
    // brackets unless required; an option and its values are never split
    // across lines.
    std::string synopsis;
    for (const CLI::Option *argument : listedOptions(command, true)) {
        const std::string name = argument->get_name(true);
        synopsis += (synopsis.empty() ? "" : " ") + (argument->get_required() ? name : "[" + name + "]");
    }
    for (const CLI::Option *option : listedOptions(command, false)) {
        std::string word = option->get_required() ? optionWithValues(*option) : "[" + optionWithValues(*option) + "]";
        for (char &c : word)
            c = c == ' ' ? '\x01' : c;
        synopsis += (synopsis.empty() ? "" : " ") + word;
    }
    std::string text = wrapped("  vornhost " + command.get_name(), synopsis, kSynopsisIndent);
    for (char &c : text)
        c = c == '\x01' ? ' ' : c;
    // The summary, indented under the synopsis.
    const std::string summary = command.get_description();
    for (size_t start = 0; start < summary.size();) {
        size_t end = summary.find('\n', start);
        if (end == std::string::npos)
            end = summary.size();
        text += "      " + summary.substr(start, end - start) + "\n";
        start = end + 1;
    }
    for (const CLI::Option *option : listedOptions(command, false))
        text += optionLine(*option, 4, kHelpColumn);
    return text;
}

std::string UsageFormatter::make_help(const CLI::App *app, std::string, CLI::AppFormatMode) const
{
    return app->get_parent() == nullptr ? globalUsage(*app) : commandUsage(*app);
}
