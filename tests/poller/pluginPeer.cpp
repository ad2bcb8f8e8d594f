// pluginpeer.exe: a host process of its own for the poller tests whose
// subject is the process itself: what the plug-in does at process exit, and
// whether the process survives an unload. It loads VORN.dll from its folder
// as a host does, steers the simulated controller through FTD2XX.dll's
// control exports without taking a reference of its own on that library,
// and runs one scenario:
//
//   exit-in-read TRACE   with the bridge calls traced to the file TRACE, the
//                        poller is held inside a read and the process ends
//                        with ExitProcess(7)
//   unload-in-helper-read
//                        the poller's read runs a helper thread inside the
//                        bridge library for 12 s; VORN.dll is unloaded
//                        meanwhile, the process lives on until that thread
//                        is over, then loads VORN.dll again and reads a frame
//
// The settings must be stored (device 0, refresh rate 1). Exit code 0 when
// the scenario went as expected, 1 after a line on stderr saying what did
// not, 99 when the process crashed.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>

#include "plugin/exports.h"
#include "simControl.h"

namespace {

int fail(const char *why)
{
    std::fprintf(stderr, "pluginpeer: %s\n", why);
    return 1;
}

LONG WINAPI reportCrash(EXCEPTION_POINTERS *exception)
{
    std::fprintf(stderr, "pluginpeer: crashed, exception %08lx at %p\n", exception->ExceptionRecord->ExceptionCode,
                 exception->ExceptionRecord->ExceptionAddress);
    std::fflush(stderr);
    TerminateProcess(GetCurrentProcess(), 99);
    return EXCEPTION_EXECUTE_HANDLER;
}

bool waitUntil(const std::function<bool()> &condition, DWORD timeoutMs)
{
    const DWORD start = GetTickCount();
    while (!condition()) {
        if (GetTickCount() - start > timeoutMs)
            return false;
        Sleep(10);
    }
    return true;
}

template <class Fn>
Fn exportOf(HMODULE module, const char *name)
{
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

// VORN.dll and the simulator behind it; the simulator's control functions
// are resolved from the module VORN.dll loaded, without a reference.
struct Plugin {
    HMODULE vorn = nullptr;
    SimControl sim;
    void *block = nullptr;

    bool load()
    {
        vorn = LoadLibraryA("VORN.dll");
        return vorn != nullptr && sim.load(GetModuleHandleA("FTD2XX.dll"));
    }
    void start() { block = exportOf<DllStartupFn>(vorn, "dllstartup")(nullptr, 0); }
    std::string meter(const char *name, const char *parameter)
    {
        char buffer[32] = {};
        return exportOf<MeterFn>(vorn, name)(buffer, parameter);
    }
    void unload()
    {
        exportOf<DllShutdownFn>(vorn, "dllshutdown")(block);
        FreeLibrary(vorn);
        vorn = nullptr;
    }
};

int exitInRead(const char *tracePath)
{
    SetEnvironmentVariableA("VORNSIM_CALL_TRACE", tracePath);
    Plugin plugin;
    if (!plugin.load())
        return fail("cannot load VORN.dll and the simulator");
    plugin.sim.reset();
    plugin.sim.setGateLimit(30000);
    plugin.sim.gateClose();
    plugin.start();
    if (!waitUntil([&] { return plugin.sim.gateWaiting() >= 1; }, 5000))
        return fail("the poller did not reach its read");
    std::printf("the poller is inside FT_Read; ExitProcess(7)\n");
    std::fflush(stdout);
    ExitProcess(7);
}

int unloadInHelperRead()
{
    constexpr int kHelperMs = 12000;
    constexpr DWORD kUnloadBoundMs = 10000; // the teardown's 5-second wait and its stop, generously
    Plugin plugin;
    if (!plugin.load())
        return fail("cannot load VORN.dll and the simulator");
    plugin.sim.reset();
    plugin.sim.readHelperThread(kHelperMs, 1);
    plugin.start();
    if (!waitUntil([&] { return plugin.sim.helperThreadsRunning() >= 1; }, 5000))
        return fail("the poller's read started no helper thread");
    const DWORD start = GetTickCount();
    plugin.unload();
    const DWORD unloadMs = GetTickCount() - start;
    std::printf("FreeLibrary returned after %lu ms\n", unloadMs);
    std::fflush(stdout);
    if (unloadMs > kUnloadBoundMs)
        return fail("FreeLibrary outlasted its bound");
    if (GetModuleHandleA("FTD2XX.dll") == nullptr) {
        std::fprintf(stderr, "pluginpeer: FTD2XX.dll was unloaded with VORN.dll\n");
        std::fflush(stderr);
        Sleep(kHelperMs); // the helper thread wakes up in unmapped code
        return fail("FTD2XX.dll was unloaded with VORN.dll");
    }
    // The library is still mapped, so its control functions still answer.
    if (!waitUntil([&] { return plugin.sim.helperThreadsRunning() == 0; }, kHelperMs + 5000))
        return fail("the helper thread did not end");
    Sleep(2000);

    if (!plugin.load())
        return fail("cannot load VORN.dll again");
    plugin.sim.reset();
    plugin.start();
    const bool readings = waitUntil([&] { return plugin.meter("GetFanMaxRPM", "0") == "2100"; }, 5000);
    const std::string value = plugin.meter("GetFanMaxRPM", "0");
    plugin.unload();
    if (!readings)
        return fail(("the reloaded plug-in shows \"" + value + "\", not a reading").c_str());
    std::printf("reloaded: fan 0 at most %s RPM\n", value.c_str());
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    SetUnhandledExceptionFilter(reportCrash);
    if (argc == 3 && std::strcmp(argv[1], "exit-in-read") == 0)
        return exitInRead(argv[2]);
    if (argc == 2 && std::strcmp(argv[1], "unload-in-helper-read") == 0)
        return unloadInHelperRead();
    return fail("usage: pluginpeer exit-in-read TRACE | unload-in-helper-read");
}
