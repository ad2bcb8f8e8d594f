// The simulator's one instance per process, and its small helpers.
#include "simulator/simulatorState.h"

namespace vornsim {

// Built when the DLL loads (so the environment is read then) and never
// destroyed: threads may still be inside the DLL while the process exits.
Sim &sim()
{
    static Sim *s = new Sim;
    return *s;
}
[[maybe_unused]] const bool g_builtAtLoad = (sim(), true);

// The handles of the shared section and its mutex are closed once, when the
// DLL is unloaded or the process ends.
// Devices this process still holds open are let go first, as the driver
// releases them when a program ends.
struct CloseSharedStateAtUnload {
    ~CloseSharedStateAtUnload()
    {
        sim().store.releaseOwned();
        sim().store.close();
    }
} g_closeSharedStateAtUnload;

namespace {

// The trace file named by VORNSIM_CALL_TRACE at load, or INVALID_HANDLE_VALUE.
// Each line is written with one call at the end of the file and goes to the
// system at once, so it outlives this process whatever way it ends.
HANDLE openCallTrace()
{
    char path[MAX_PATH] = {};
    const DWORD n = GetEnvironmentVariableA("VORNSIM_CALL_TRACE", path, sizeof path);
    if (n == 0 || n >= sizeof path)
        return INVALID_HANDLE_VALUE;
    return CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}
const HANDLE g_callTrace = openCallTrace();

DWORD WINAPI helperThreadProc(LPVOID argument)
{
    const DWORD ms = static_cast<DWORD>(reinterpret_cast<uintptr_t>(argument));
    ++helperThreadsRunning;
    // Back in this DLL's code every few milliseconds, as a vendor's worker
    // thread would be.
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < ms)
        Sleep(10);
    --helperThreadsRunning;
    return 0;
}

} // namespace

std::atomic<int> helperThreadsRunning{0};

void enterCall(int op)
{
    static const char *const names[SIM_OP_COUNT] = {"open", "close", "read", "write", "baud", "data", "timeouts"};
    if (op < 0 || op >= SIM_OP_COUNT)
        return;
    if (g_callTrace != INVALID_HANDLE_VALUE) {
        char line[16];
        const int length = wsprintfA(line, "%s\n", names[op]);
        DWORD written = 0;
        WriteFile(g_callTrace, line, static_cast<DWORD>(length), &written, nullptr);
    }
    Sim &s = sim();
    int holdMs = 0;
    {
        std::lock_guard<std::mutex> lock(s.mu);
        if (!s.holds[op].take(holdMs))
            holdMs = 0;
    }
    if (holdMs > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(holdMs));
}

void runHelperThread(int ms)
{
    HANDLE thread =
        CreateThread(nullptr, 0, helperThreadProc, reinterpret_cast<LPVOID>(static_cast<uintptr_t>(ms)), 0, nullptr);
    if (thread == nullptr)
        return;
    WaitForSingleObject(thread, static_cast<DWORD>(ms) + 10000);
    CloseHandle(thread);
}

int clampMs(int ms)
{
    return ms < 0 ? 0 : std::min(ms, kMaxWaitMs);
}

void paceWire(size_t bytes, ULONG baud)
{
    if (bytes == 0 || baud == 0)
        return;
    const auto us = static_cast<long long>(bytes) * 10 * 1000000 / baud;
    std::this_thread::sleep_for(std::chrono::microseconds(us));
}

} // namespace vornsim
