#include "host/service/alarmCommand.h"

#include <windows.h>

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

} // namespace

bool runAlarmCommand(const std::string &commandLine, const AlarmEvent &event, unsigned long &exitCode,
                     std::string &failure)
{
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    std::vector<char> environment = environmentWith(event);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, environment.data(), nullptr,
                        &startup, &process)) {
        failure = "cannot run the alarm command \"" + commandLine + "\" (error " + std::to_string(GetLastError()) + ")";
        return false;
    }
    CloseHandle(process.hThread);
    WaitForSingleObject(process.hProcess, kAlarmCommandWaitMs);
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(process.hProcess, &code);
    exitCode = code;
    CloseHandle(process.hProcess);
    return true;
}
