#include "host/commandLine.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const char kGlobalUsage[] =
    "Usage: vornhost [--plugin PATH] [COMMAND [ARGUMENTS] [OPTIONS]]\n"
    "\n"
    "Loads a meter plug-in (default: VORN.dll beside this program) as the desktop\n"
    "host does and prints what it would show; finds and checks the controller.\n"
    "\n"
    "Global options:\n"
    "  --plugin PATH   the plug-in to load\n"
    "  --help          this text; after a command, that command's usage\n"
    "\n"
    "Commands:\n";

constexpr size_t kWidth = 79;
constexpr size_t kHelpColumn = 32;

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

std::string optionLine(const OptionEntry &option)
{
    std::string line = std::string("    ") + option.name;
    if (option.values != nullptr)
        line += std::string(" ") + option.values;
    if (line.size() + 2 <= kHelpColumn)
        line.resize(kHelpColumn, ' ');
    else
        line += "\n" + std::string(kHelpColumn, ' ');
    const size_t lineStart = line.rfind('\n') == std::string::npos ? 0 : line.rfind('\n') + 1;
    return line.substr(0, lineStart) + wrapped(line.substr(lineStart), option.help, kHelpColumn);
}

int valueCount(const OptionEntry &option)
{
    if (option.values == nullptr)
        return 0;
    int count = 1;
    for (const char *c = option.values; *c != '\0'; ++c)
        count += *c == ' ';
    return count;
}

int complain(const std::string &what, const CommandEntry *command)
{
    std::fprintf(stderr, "vornhost: %s\n", what.c_str());
    if (command != nullptr)
        std::fprintf(stderr, "\n%s", commandUsage(*command).c_str());
    else
        std::fprintf(stderr, "Run vornhost --help for the commands.\n");
    return 2;
}

} // namespace

std::string Invocation::value(const char *option, const std::string &fallback) const
{
    const auto it = options.find(option);
    return it == options.end() || it->second.empty() ? fallback : it->second[0];
}

std::string commandUsage(const CommandEntry &command)
{
    // The synopsis; an option's brackets are never split across lines.
    std::string synopsis = command.arguments;
    for (const OptionEntry &option : command.options) {
        std::string word =
            std::string("[") + option.name + (option.values ? std::string(" ") + option.values : "") + "]";
        for (char &c : word)
            c = c == ' ' ? '\x01' : c;
        synopsis += (synopsis.empty() ? "" : " ") + word;
    }
    std::string text = wrapped(std::string("  vornhost ") + command.name, synopsis, 12);
    for (char &c : text)
        c = c == '\x01' ? ' ' : c;
    // The summary, indented under the synopsis.
    for (const char *line = command.summary; *line != '\0';) {
        const char *end = std::strchr(line, '\n');
        const size_t length = end ? static_cast<size_t>(end - line) : std::strlen(line);
        text += "      " + std::string(line, length) + "\n";
        line += length + (end ? 1 : 0);
    }
    for (const OptionEntry &option : command.options)
        text += optionLine(option);
    return text;
}

std::string usageText(const std::vector<CommandEntry> &commands)
{
    std::string text = kGlobalUsage;
    for (const CommandEntry &command : commands)
        text += commandUsage(command) + "\n";
    text += "Without a command, vornhost runs " + std::string(commands.front().name) + ".\n";
    return text;
}

bool readNumber(const std::string &text, long &out)
{
    if (text.empty())
        return false;
    char *end = nullptr;
    errno = 0;
    out = std::strtol(text.c_str(), &end, 10);
    return errno == 0 && end != nullptr && *end == '\0' && std::isdigit(static_cast<unsigned char>(text.back()));
}

int parseCommandLine(int argc, char **argv, const std::vector<CommandEntry> &commands, Invocation &out)
{
    bool help = false;
    std::vector<std::string> rest;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            help = true;
        } else if (std::strcmp(argv[i], "--plugin") == 0) {
            if (i + 1 >= argc)
                return complain("--plugin needs a path", nullptr);
            out.pluginPath = argv[++i];
        } else {
            rest.push_back(argv[i]);
        }
    }
    if (rest.empty() && help) {
        std::fputs(usageText(commands).c_str(), stdout);
        return 0;
    }
    const std::string name = rest.empty() ? commands.front().name : rest[0];
    for (const CommandEntry &command : commands) {
        if (name == command.name)
            out.command = &command;
    }
    if (out.command == nullptr)
        return complain("unknown command '" + name + "'", nullptr);
    const CommandEntry &command = *out.command;
    if (help) {
        std::fputs(commandUsage(command).c_str(), stdout);
        return 0;
    }
    for (size_t i = 1; i < rest.size(); ++i) {
        const std::string &word = rest[i];
        if (word.size() > 1 && word[0] == '-' && !std::isdigit(static_cast<unsigned char>(word[1]))) {
            const OptionEntry *option = nullptr;
            for (const OptionEntry &o : command.options) {
                if (word == o.name)
                    option = &o;
            }
            if (option == nullptr)
                return complain(std::string(command.name) + " does not understand '" + word + "'", &command);
            if (out.has(option->name))
                return complain(word + " is given twice", &command);
            const int count = valueCount(*option);
            if (i + count >= rest.size())
                return complain(word + " needs " + option->values, &command);
            std::vector<std::string> &values = out.options[option->name];
            for (int k = 0; k < count; ++k)
                values.push_back(rest[++i]);
            continue;
        }
        out.arguments.push_back(word);
    }
    const int given = static_cast<int>(out.arguments.size());
    if (given < command.minArguments || given > command.maxArguments)
        return complain(std::string(command.name) + " takes " +
                            (command.arguments[0] ? std::string(command.arguments) : std::string("no arguments")),
                        &command);
    return -1;
}
