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
//   unload-in-read       a host thread is inside a 3-s readFromVorn when
//                        VORN.dll is unloaded (refresh rate 60: no poll meanwhile)
//   unload-with-dialog   the configuration dialog is open on a host thread
//                        when VORN.dll is unloaded; it is closed afterwards,
//                        and VORN.dll is loaded and started again
//   unload-in-helper-call
//                        a fan command is inside FT_Open, then inside
//                        FT_Close, while the bridge library joins a thread of
//                        its own (1 s), when VORN.dll is unloaded as a host
//                        does; then inside FT_Close with FreeLibrary alone, so
//                        that the join waits for the loader lock; then loads
//                        the module kept there again and sends a command
//                        (refresh rate 60)
//
// A call that runs plug-in code after its module was unmapped crashes the
// process: right after FreeLibrary the image's range is reserved
// inaccessible, unless the module was kept loaded.
//
// The settings must be stored: device 0, refresh rate 1 unless said above. Exit code 0 when
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
#include <utility>

#include "plugin/exports.h"
#include "simControl.h"
#include "tests/support/importHook.h"
#include "tests/support/turnHolder.h"

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
    // Loaded, the simulator as new, and started: false when it cannot load.
    bool loadAndStart()
    {
        if (!load())
            return false;
        sim.reset();
        start();
        return true;
    }
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

    if (!plugin.loadAndStart())
        return fail("cannot load VORN.dll again");
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
// here, as in TurnHolder) keeps, and FreeLibrary comes meanwhile.
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
    auto turn = std::make_unique<TurnHolder>();
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

// A call of the host's on a thread of its own.
struct HostCall {
    std::function<void()> body;
    HANDLE thread = nullptr;

    static DWORD WINAPI run(LPVOID argument)
    {
        static_cast<HostCall *>(argument)->body();
        return 0;
    }
    explicit HostCall(std::function<void()> call) : body(std::move(call))
    {
        thread = CreateThread(nullptr, 0, run, this, 0, nullptr);
    }
    ~HostCall()
    {
        if (thread != nullptr) {
            WaitForSingleObject(thread, 15000);
            CloseHandle(thread);
        }
    }
    bool returned(DWORD waitMs) const { return WaitForSingleObject(thread, waitMs) == WAIT_OBJECT_0; }
};

// After an unload with a call inside: either the module was kept loaded
// (still mapped where it was), or it was unmapped, and then its range is
// reserved inaccessible so that the call, should it come back, faults.
struct AfterUnload {
    bool kept = false;
    void *fence = nullptr;
    explicit AfterUnload(const ImageRange &image)
    {
        kept = GetModuleHandleA("VORN.dll") == reinterpret_cast<HMODULE>(image.base);
        if (!kept)
            fence = VirtualAlloc(image.base, image.size, MEM_RESERVE, PAGE_NOACCESS);
    }
    ~AfterUnload()
    {
        if (fence != nullptr)
            VirtualFree(fence, 0, MEM_RELEASE);
    }
    const char *what() const { return kept ? "kept loaded" : "unmapped"; }
};

constexpr DWORD kUnloadBoundMs = 5500;

// A host thread inside readFromVorn, whose read the simulator holds 3 s:
// the unload waits for it (or keeps the module), and the read returns its
// frame into mapped code.
int unloadInRead()
{
    constexpr int kReadMs = 3000;
    Plugin plugin;
    if (!plugin.loadAndStart())
        return fail("cannot load VORN.dll and the simulator");
    const ImageRange image(plugin.vorn);
    const auto open = exportOf<OpenConnectionFn>(plugin.vorn, "openConnection");
    const auto read = exportOf<ReadFromVornFn>(plugin.vorn, "readFromVorn");
    FT_HANDLE handle = nullptr;
    if (open(0, &handle) != nullptr)
        return fail("openConnection failed");
    plugin.sim.readDelay(kReadMs, 1);
    uint8_t frame[SIM_FRAME_SIZE] = {};
    std::atomic<bool> done{false};
    const char *result = "";
    HostCall reader([&] {
        result = read(handle, frame);
        done = true;
    });
    if (!waitUntil([&] { return plugin.sim.counts().readsInProgress >= 1; }, 3000))
        return fail("the read did not begin");
    Sleep(200);

    const DWORD start = GetTickCount();
    plugin.unload();
    const DWORD unloadMs = GetTickCount() - start;
    const AfterUnload after(image);
    const bool returned = reader.returned(10000);
    const auto close = exportOf<decltype(&FT_Close)>(GetModuleHandleA("FTD2XX.dll"), "FT_Close");
    close(handle);
    std::printf("dllshutdown and FreeLibrary: %lu ms, the module %s; the read %s\n", unloadMs, after.what(),
                done ? (result == nullptr ? "returned its frame" : "failed") : "did not return");
    if (!returned || !done)
        return fail("the reading thread did not return within 10 s");
    if (result != nullptr || (frame[0] == 0 && frame[1] == 0))
        return fail("the read did not return its frame");
    if (plugin.sim.counts().openHandles != 0)
        return fail("a handle stayed open");
    return unloadMs <= kUnloadBoundMs ? 0 : fail("the unload outlasted 5.5 s");
}

// The configuration dialog open on a host thread: the unload keeps the
// module (the dialog waits for its user, not for a bound), the dialog ends
// normally afterwards, and the module loaded again starts as a fresh load
// does: the zero frame first, then the poller's readings.
int unloadWithDialog()
{
    Plugin plugin;
    if (!plugin.loadAndStart())
        return fail("cannot load VORN.dll and the simulator");
    if (!waitUntil([&] { return plugin.meter("GetFanMaxRPM", "0") == "2100"; }, 5000))
        return fail("no reading before the unload");
    const ImageRange image(plugin.vorn);
    const auto configure = exportOf<ConfigureFn>(plugin.vorn, "configure");
    std::atomic<int> result{-1};
    HostCall dialogCall([&] { result = configure(); });
    HWND dialog = nullptr;
    if (!waitUntil([&] { return (dialog = FindWindowA("#32770", "VORN Configuration")) != nullptr; }, 5000))
        return fail("the dialog did not open");

    const DWORD start = GetTickCount();
    plugin.unload();
    const DWORD unloadMs = GetTickCount() - start;
    const AfterUnload after(image);
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    const bool returned = dialogCall.returned(5000);
    std::printf("dllshutdown and FreeLibrary: %lu ms with the dialog open, the module %s; the dialog %s\n", unloadMs,
                after.what(), returned ? "returned" : "did not return");
    if (!after.kept)
        return fail("the module was unmapped under the open dialog");
    if (!returned || result != 0)
        return fail("the dialog did not return 0 within 5 s of its Cancel");
    if (unloadMs > kUnloadBoundMs)
        return fail("the unload outlasted 5.5 s");

    if (!plugin.load() || plugin.vorn != reinterpret_cast<HMODULE>(image.base))
        return fail("the kept module did not load again in its place");
    plugin.start();
    const std::string first = plugin.meter("GetFanMaxRPM", "0");
    const bool readings = waitUntil([&] { return plugin.meter("GetFanMaxRPM", "0") == "2100"; }, 5000);
    plugin.unload();
    std::printf("loaded again: fan 0 at most %s RPM at the start, then %s\n", first.c_str(),
                readings ? "2100" : "no reading");
    if (first != "0")
        return fail("the kept module loaded again showed the last frame, not the zero frame of a load");
    return readings ? 0 : fail("the kept module loaded again showed no reading");
}

// A fan command inside a bridge call that joins a thread of the library's
// own, when the host unloads. With dllshutdown first the command is waited
// for outside the loader lock; with FreeLibrary alone the join waits for the
// loader lock that the unload holds, so the detach must not wait for the
// command and keeps the module instead. Either way FreeLibrary returns
// within its bound and the command returns without a crash.
int unloadInHelperCall()
{
    constexpr int kHelperMs = 1000;
    const struct {
        int op;
        bool shutDownFirst;
        const char *what;
    } rounds[] = {{SIM_OP_OPEN, true, "in FT_Open, dllshutdown first"},
                  {SIM_OP_CLOSE, true, "in FT_Close, dllshutdown first"},
                  {SIM_OP_CLOSE, false, "in FT_Close, FreeLibrary alone"}}; // last: it keeps the module
    for (const auto &round : rounds) {
        Plugin plugin;
        if (!plugin.loadAndStart())
            return fail("cannot load VORN.dll and the simulator");
        const ImageRange image(plugin.vorn);
        const auto setFan = exportOf<SetFanPercentageFn>(plugin.vorn, "SetFanPercentage");
        plugin.sim.helperThread(round.op, kHelperMs, 1);
        std::atomic<bool> done{false};
        const char *result = "";
        HostCall sender([&] {
            char buffer[16];
            result = setFan(buffer, "1", "50");
            done = true;
        });
        if (!waitUntil([&] { return plugin.sim.helperThreadsRunning() >= 1; }, 3000))
            return fail("the command's bridge call started no thread");

        const DWORD start = GetTickCount();
        if (round.shutDownFirst) {
            plugin.unload();
        } else {
            FreeLibrary(plugin.vorn);
            plugin.vorn = nullptr;
        }
        const DWORD unloadMs = GetTickCount() - start;
        const AfterUnload after(image);
        const bool returned = sender.returned(10000);
        std::printf("%s: the unload took %lu ms, the module %s; the command %s\n", round.what, unloadMs, after.what(),
                    done ? (result == nullptr ? "sent" : "refused") : "did not return");
        if (!returned || !done)
            return fail("the command did not return within 10 s");
        if (round.op == SIM_OP_CLOSE && result != nullptr)
            return fail("the command was not sent");
        if (!waitUntil([&] { return plugin.sim.counts().openHandles == 0; }, 2000))
            return fail("a handle stayed open");
        if (unloadMs > kUnloadBoundMs)
            return fail("the unload outlasted 5.5 s");
    }
    // The module kept at the detach, loaded again, takes fan commands again.
    Plugin again;
    if (!again.load())
        return fail("the kept module did not load again");
    again.start();
    char buffer[16];
    const char *sent = exportOf<SetFanPercentageFn>(again.vorn, "SetFanPercentage")(buffer, "2", "60");
    again.unload();
    return sent == nullptr ? 0 : fail("the kept module loaded again did not send a fan command");
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
    if (argc == 2 && std::strcmp(argv[1], "unload-in-read") == 0)
        return unloadInRead();
    if (argc == 2 && std::strcmp(argv[1], "unload-with-dialog") == 0)
        return unloadWithDialog();
    if (argc == 2 && std::strcmp(argv[1], "unload-in-helper-call") == 0)
        return unloadInHelperCall();
    return fail(
        "usage: pluginpeer exit-in-read TRACE | unload-in-helper-read | exit-race ROUNDS |"
        " unload-with-waiting-senders ROUNDS | unload-in-read | unload-with-dialog | unload-in-helper-call");
}
