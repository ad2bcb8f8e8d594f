#include "control/programPath.h"

#include <cctype>

namespace {

bool separator(char c)
{
    return c == '\\' || c == '/';
}

// Ends with `suffix`, letters in either case.
bool endsWith(const std::string &text, const char *suffix)
{
    const std::string end(suffix);
    if (text.size() < end.size())
        return false;
    for (size_t i = 0; i < end.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(text[text.size() - end.size() + i])) != end[i])
            return false;
    return true;
}

const char kExample[] = "such as C:\\Windows\\System32\\cmd.exe";

} // namespace

std::optional<std::string> programPathProblem(const std::string &path)
{
    if (path.empty())
        return "an empty path names no program; leave the key out instead";
    for (char c : path) {
        if (static_cast<unsigned char>(c) < 0x20 || std::string("\"*?<>|").find(c) != std::string::npos)
            return "a path cannot hold control characters or any of \" * ? < > |";
    }
    if (path.size() > kLongestProgramPath)
        return "a path longer than " + std::to_string(kLongestProgramPath) + " characters names no program";
    const std::string shown = "\"" + path + "\"";
    if (separator(path[0]) && path.size() > 1 && separator(path[1]))
        return shown + " is a network or device path: name a program on a local drive, " + kExample;
    const bool drive =
        path.size() > 2 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':' && separator(path[2]);
    if (!drive) {
        const bool bare = path.find_first_of("\\/:") == std::string::npos;
        return shown + (bare ? " is a bare name, which Windows would search for" : " is a relative path") +
               ": name the program by its full path, " + kExample;
    }
    if (endsWith(path, ".cmd") || endsWith(path, ".bat"))
        return shown +
               " is a batch file, which runs through the command interpreter: name C:\\Windows\\System32\\cmd.exe "
               "as the program, and /c followed by the batch file's full path in quotes as its arguments";
    if (!endsWith(path, ".exe"))
        return shown + " does not end in .exe: name the program file itself, " + kExample;
    return std::nullopt;
}
