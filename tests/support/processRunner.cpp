#include "tests/support/processRunner.h"

#include <windows.h>

#include <mutex>
#include <sstream>
#include <vector>

namespace {

// A program started while another thread of this process holds an
// inheritable pipe end inherits that end too, and the other program's output
// then ends only when both have: one start at a time.
std::mutex starting;

} // namespace

ProgramRun runProgram(const std::string &commandLine, unsigned timeoutMs, unsigned long creationFlags,
                      std::atomic<unsigned long> *processId)
{
    ProgramRun run;
    std::unique_lock<std::mutex> oneStart(starting);
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0))
        return run;
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    PROCESS_INFORMATION process = {};
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    const BOOL started = CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, creationFlags, nullptr, nullptr,
                                        &startup, &process);
    CloseHandle(writeEnd);
    oneStart.unlock();
    if (!started) {
        CloseHandle(readEnd);
        return run;
    }
    if (processId != nullptr)
        *processId = process.dwProcessId;
    // Drain the pipe until the program ends (it closes its end), bounded.
    const DWORD deadline = GetTickCount() + timeoutMs;
    char chunk[4096];
    for (;;) {
        DWORD available = 0;
        if (!PeekNamedPipe(readEnd, nullptr, 0, nullptr, &available, nullptr))
            break; // the program closed its end
        if (available > 0) {
            DWORD got = 0;
            if (!ReadFile(readEnd, chunk, sizeof chunk, &got, nullptr) || got == 0)
                break;
            run.output.append(chunk, got);
            continue;
        }
        if (static_cast<LONG>(GetTickCount() - deadline) > 0)
            break;
        Sleep(10);
    }
    if (WaitForSingleObject(process.hProcess, 5000) == WAIT_OBJECT_0) {
        DWORD code = 0;
        GetExitCodeProcess(process.hProcess, &code);
        run.exitCode = static_cast<int>(code);
    } else {
        TerminateProcess(process.hProcess, 99);
        WaitForSingleObject(process.hProcess, 5000);
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    CloseHandle(readEnd);
    return run;
}

std::vector<std::string> linesOf(const std::string &text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
    }
    return lines;
}
