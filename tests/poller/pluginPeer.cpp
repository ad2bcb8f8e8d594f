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
//                        bridge library for 8 s; VORN.dll is unloaded
//                        meanwhile, the process lives on until that thread
//                        is over, then loads VORN.dll again and reads a frame
//   exit-race ROUNDS     VORN.dll is loaded, started and unloaded ROUNDS
//                        times by a thread at the lowest priority, with the
//                        unload's exit for the poller stretched where a split
//                        exit would let the poller back into the plug-in (see
//                        exitRace); a poller that runs plug-in code after the
//                        unload crashes the process
//   unload-with-waiting-senders ROUNDS
//                        40 threads send a fan command each while another
//                        program keeps the controller's lock, and VORN.dll is
//                        unloaded while they wait, ROUNDS times; a sender that
//                        runs plug-in code after the unload crashes the
//                        process (see unloadWithWaitingSenders)
//
// The settings must be stored (device 0, refresh rate 1). Exit code 0 when
// the scenario went as expected, 1 after a line on stderr saying what did
// not, 99 when the process crashed.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>

#include "plugin/exports.h"
#include "simControl.h"
#include "tests/support/controllerTurnHolder.h"
#include "tests/support/importHook.h"

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
    constexpr int kHelperMs = 8000;         // outlasts the unload's 5-s budget
    constexpr DWORD kUnloadBoundMs = 10000; // the teardown's 5-second wait and its stop, generously
    Plugin plugin;
    if (!plugin.load())
        return fail("cannot load VORN.dll and the simulator");
    plugin.sim.reset();
    plugin.sim.helperThread(SIM_OP_READ, kHelperMs, 1);
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

// The calls around the poller's exit, as VORN.dll imports them, stretched the
// way a busy scheduler can: the unloading thread pauses 30 ms after its first
// queued call to the poller, and a wait of the poller's that returns into the
// plug-in because a queued call ran (WAIT_IO_COMPLETION) is held 60 ms before
// it goes back. An exit whose calls are not all pending before the poller
// runs the first one then lets the poller return into the plug-in while the
// unload completes, and the return lands in unmapped code.
std::atomic<int> queuedThisUnload{0};
std::atomic<int> returnsIntoPlugin{0};
std::atomic<int> heldNow{0};
decltype(&QueueUserAPC) realQueueUserAPC = nullptr;
decltype(&WaitForSingleObjectEx) realWaitForSingleObjectEx = nullptr;
decltype(&SleepEx) realSleepEx = nullptr;

DWORD WINAPI slowQueueUserAPC(PAPCFUNC function, HANDLE thread, ULONG_PTR data)
{
    const DWORD queued = realQueueUserAPC(function, thread, data);
    if (queuedThisUnload++ == 0)
        Sleep(30);
    return queued;
}

DWORD heldIfQueuedCallRan(DWORD result)
{
    if (result == WAIT_IO_COMPLETION) {
        ++returnsIntoPlugin;
        ++heldNow;
        Sleep(60);
        --heldNow;
    }
    return result;
}

DWORD WINAPI slowWaitForSingleObjectEx(HANDLE handle, DWORD ms, BOOL alertable)
{
    return heldIfQueuedCallRan(realWaitForSingleObjectEx(handle, ms, alertable));
}

DWORD WINAPI slowSleepEx(DWORD ms, BOOL alertable)
{
    return heldIfQueuedCallRan(realSleepEx(ms, alertable));
}

int exitRace(int rounds)
{
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_LOWEST);
    for (int round = 0; round < rounds; ++round) {
        Plugin plugin;
        if (!plugin.load())
            return fail("cannot load VORN.dll and the simulator");
        ImportHook queue("KERNEL32.dll", "QueueUserAPC", reinterpret_cast<const void *>(slowQueueUserAPC), plugin.vorn);
        ImportHook wait("KERNEL32.dll", "WaitForSingleObjectEx",
                        reinterpret_cast<const void *>(slowWaitForSingleObjectEx), plugin.vorn);
        ImportHook sleep("KERNEL32.dll", "SleepEx", reinterpret_cast<const void *>(slowSleepEx), plugin.vorn);
        if (!queue.installed() || !wait.installed() || !sleep.installed())
            return fail("VORN.dll does not import the calls of its poller's exit by name");
        realQueueUserAPC = queue.original<decltype(realQueueUserAPC)>();
        realWaitForSingleObjectEx = wait.original<decltype(realWaitForSingleObjectEx)>();
        realSleepEx = sleep.original<decltype(realSleepEx)>();
        queuedThisUnload = 0;
        plugin.start();
        // The poller between its start and its first cycle: in its settings
        // read, or already waiting for its timer.
        Sleep(static_cast<DWORD>(round % 4) * 5);
        for (ImportHook *hook : {&queue, &wait, &sleep})
            hook->forget(); // the table goes with the module
        plugin.unload();
        // A held poller returns before the next load, which could map the
        // plug-in at the same address again and hide the fault.
        if (heldNow.load() > 0) {
            waitUntil([] { return heldNow.load() == 0; }, 5000);
            Sleep(50);
        }
    }
    // A poller that came back into the plug-in but left again before the
    // unmap did no harm this time; it is the same fault.
    const int returns = returnsIntoPlugin.load();
    std::printf("%d rounds; the poller returned into the plug-in %d times during its exit\n", rounds, returns);
    return returns == 0 ? 0 : fail("the poller ran plug-in code during its exit");
}

// The plug-in's image, read from its own headers while it is loaded.
struct ImageRange {
    BYTE *base = nullptr;
    SIZE_T size = 0;
    explicit ImageRange(HMODULE module) : base(reinterpret_cast<BYTE *>(module))
    {
        const auto *dos = reinterpret_cast<const IMAGE_DOS_HEADER *>(base);
        size = reinterpret_cast<const IMAGE_NT_HEADERS *>(base + dos->e_lfanew)->OptionalHeader.SizeOfImage;
    }
    bool holds(const void *p) const
    {
        return static_cast<const BYTE *>(p) >= base && static_cast<const BYTE *>(p) < base + size;
    }
};

struct Sender {
    SetFanPercentageFn setFan = nullptr;
    std::atomic<int> *calling = nullptr;
    const char *result = nullptr; // a pointer only: its text goes with the module
};

DWORD WINAPI sendOnce(LPVOID argument)
{
    Sender &s = *static_cast<Sender *>(argument);
    char buffer[16];
    ++*s.calling;
    s.result = s.setFan(buffer, "1", "50");
    return 0;
}

// One round: the senders wait for the lock that another program (a thread
// here, as in ControllerTurnHolder) keeps, and FreeLibrary comes meanwhile.
// Right after it the plug-in's address range is reserved inaccessible, so
// that a sender still running plug-in code faults (the crash handler ends the
// process with 99) instead of finding a later load's code there. Every sender
// must return a text of the plug-in's (busy) within a bound. Null when the
// round went so, else what did not.
const char *senderRound(DWORD &unloadMs)
{
    constexpr int kSenders = 40;
    Plugin plugin;
    if (!plugin.load())
        return "cannot load VORN.dll and the simulator";
    plugin.start();
    const ImageRange image(plugin.vorn);
    auto turn = std::make_unique<ControllerTurnHolder>();
    if (!turn->held())
        return "the controller's lock could not be taken";

    std::atomic<int> calling{0};
    Sender senders[kSenders];
    HANDLE threads[kSenders] = {};
    for (int i = 0; i < kSenders; ++i) {
        senders[i].setFan = exportOf<SetFanPercentageFn>(plugin.vorn, "SetFanPercentage");
        senders[i].calling = &calling;
        threads[i] = CreateThread(nullptr, 0, sendOnce, &senders[i], 0, nullptr);
        if (threads[i] == nullptr)
            return "CreateThread failed";
    }
    // All of them inside, waiting for their turn.
    if (!waitUntil([&] { return calling.load() == kSenders; }, 5000))
        return "the senders did not start";
    Sleep(300);
    if (WaitForMultipleObjects(kSenders, threads, FALSE, 0) != WAIT_TIMEOUT)
        return "a sender returned before the unload: no lock held?";

    const DWORD start = GetTickCount();
    plugin.unload();
    unloadMs = GetTickCount() - start;
    void *fence = VirtualAlloc(image.base, image.size, MEM_RESERVE, PAGE_NOACCESS);
    if (fence == nullptr)
        return "the unloaded plug-in's range is still mapped, or was taken at once";

    const bool returned = WaitForMultipleObjects(kSenders, threads, TRUE, 10000) == WAIT_OBJECT_0;
    int busy = 0;
    for (int i = 0; i < kSenders; ++i) {
        busy += senders[i].result != nullptr && image.holds(senders[i].result);
        CloseHandle(threads[i]);
    }
    turn.reset();
    VirtualFree(fence, 0, MEM_RELEASE);
    if (!returned)
        return "a sender did not return within 10 s of the unload";
    if (busy != kSenders)
        return "a sender returned something other than a text of the plug-in's";
    return nullptr;
}

// 40 senders waiting for their turn when the host unloads the plug-in, round
// after round: every sender returns (busy), none runs plug-in code after the
// unload, and the process has as many handles after every round as after
// the first (the first also opens what stays: the bridge library's own).
int unloadWithWaitingSenders(int rounds)
{
    DWORD baseline = 0, worstUnloadMs = 0;
    for (int round = 0; round < rounds; ++round) {
        DWORD unloadMs = 0;
        if (const char *failed = senderRound(unloadMs))
            return fail(failed);
        worstUnloadMs = std::max(worstUnloadMs, unloadMs);
        DWORD handles = 0;
        if (!GetProcessHandleCount(GetCurrentProcess(), &handles))
            return fail("GetProcessHandleCount failed");
        if (round == 0)
            baseline = handles;
        else if (handles != baseline)
            return fail(("round " + std::to_string(round + 1) + " ended with " + std::to_string(handles) +
                         " handles, the first with " + std::to_string(baseline))
                            .c_str());
    }
    std::printf("%d rounds: 40 senders returned busy each; FreeLibrary at most %lu ms; %lu handles after each\n",
                rounds, worstUnloadMs, baseline);
    return worstUnloadMs <= 5500 ? 0 : fail("FreeLibrary outlasted 5.5 s");
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
    if (argc == 3 && std::strcmp(argv[1], "exit-race") == 0)
        return exitRace(std::atoi(argv[2]));
    if (argc == 3 && std::strcmp(argv[1], "unload-with-waiting-senders") == 0)
        return unloadWithWaitingSenders(std::atoi(argv[2]));
    return fail(
        "usage: pluginpeer exit-in-read TRACE | unload-in-helper-read | exit-race ROUNDS |"
        " unload-with-waiting-senders ROUNDS");
}
