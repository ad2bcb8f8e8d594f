#include "host/process/alarmProgram.h"

#include <cstring>
#include <vector>

#include "control/numberText.h"

namespace {

// This process's environment with the event's variables put in.
std::vector<char> environmentWith(const AlarmEvent &event)
{
    const struct {
        const char *name;
        std::string value;
    } added[] = {
        {"VORN_EVENT", alarmName(event.kind)},
        {"VORN_FAN", event.fan == kNoFan ? "" : std::to_string(event.fan)},
        {"VORN_INPUT", event.input ? numberText(*event.input) : ""},
        {"VORN_MESSAGE", alarmMessage(event)},
    };
    std::vector<char> block;
    char *own = GetEnvironmentStringsA();
    for (const char *entry = own; entry != nullptr && *entry != '\0'; entry += strlen(entry) + 1) {
        bool replaced = false;
        for (const auto &variable : added)
            replaced = replaced || (_strnicmp(entry, variable.name, strlen(variable.name)) == 0 &&
                                    entry[strlen(variable.name)] == '=');
        if (!replaced)
            block.insert(block.end(), entry, entry + strlen(entry) + 1);
    }
    if (own != nullptr)
        FreeEnvironmentStringsA(own);
    for (const auto &variable : added) {
        const std::string entry = std::string(variable.name) + "=" + variable.value;
        block.insert(block.end(), entry.c_str(), entry.c_str() + entry.size() + 1);
    }
    block.push_back('\0');
    return block;
}

// The command line the program gets: its path in quotes (a path holds no
// quote: control/programPath.h), then the arguments as written.
std::string commandLineOf(const AlarmConfig &alarms)
{
    const std::string quoted = "\"" + alarms.program.value_or("") + "\"";
    return alarms.arguments.empty() ? quoted : quoted + " " + alarms.arguments;
}

} // namespace

bool runAlarmProgram(const AlarmConfig &alarms, const AlarmEvent &event, HANDLE stop, unsigned long &exitCode,
                     std::string &failure)
{
    const std::string program = alarms.program.value_or("");
    const std::string commandLine = commandLineOf(alarms);
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    std::vector<char> environment = environmentWith(event);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(program.c_str(), line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, environment.data(),
                        nullptr, &startup, &process)) {
        failure = "cannot run the alarm program " + program + " (error " + std::to_string(GetLastError()) + ")";
        return false;
    }
    CloseHandle(process.hThread);
    // The process first: one that ended as the stop came still gives its code.
    const HANDLE waits[] = {process.hProcess, stop};
    WaitForMultipleObjects(stop != nullptr ? 2 : 1, waits, FALSE, kAlarmProgramWaitMs);
    DWORD code = STILL_ACTIVE;
    if (!GetExitCodeProcess(process.hProcess, &code))
        code = STILL_ACTIVE;
    exitCode = code;
    CloseHandle(process.hProcess);
    return true;
}
