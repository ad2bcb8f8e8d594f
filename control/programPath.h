// Whether a configuration's text names a program the way a service may start
// it: by its full path on a local drive ("C:\Windows\System32\cmd.exe"),
// which Windows opens as it stands. A bare name ("powershell") or a relative
// path would be searched for, or completed from the current folder, so that
// whoever can write there chooses what runs; a batch file is not a program
// Windows starts by itself, but the command interpreter's argument.
#pragma once

#include <optional>
#include <string>

// Longest path Windows takes as a program's name (MAX_PATH less its end).
constexpr size_t kLongestProgramPath = 259;

// Why `path` cannot name the program, e.g. "\"powershell\" is a bare name,
// which Windows would search for: ..."; none when it can.
std::optional<std::string> programPathProblem(const std::string &path);
