// What the figures of vornbench share. A figure is one function taking the
// Bench, registered in the table in main.cpp; it reaches the plug-in through
// VORN.dll's exports only, and the simulated controller through SimControl.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "plugin/exports.h"
#include "simControl.h"

// The clock: QueryPerformanceCounter ticks, read inline in timed loops.
inline int64_t qpcNow()
{
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return t.QuadPart;
}
double ticksToMs(double ticks);
inline double msSince(int64_t start)
{
    return ticksToMs(static_cast<double>(qpcNow() - start));
}

// Order statistics by the nearest-rank rule; 0 for no values.
double quantile(std::vector<double> values, double q);
inline double median(std::vector<double> values)
{
    return quantile(std::move(values), 0.5);
}

std::string format(const char *fmt, ...) __attribute__((format(gnu_printf, 1, 2)));

// What the meters show once a poller has refused a damaged refresh rate.
constexpr char kRateRefused[] = "Can't read refresh rate.";

// One request byte and the 285-byte frame at 19200 baud, 10 bits a byte.
constexpr double kWireMs = (1.0 + SIM_FRAME_SIZE) * 10 * 1000 / 19200;

// The run: options, the simulator, and the report (a table row per figure,
// then the details each figure left).
struct Bench {
    bool quick = false; // fewer batches, shorter windows: a smoke run
    SimControl sim;

    // A row; target "-" for a figure without one.
    void row(const std::string &figure, const std::string &value, const std::string &target, bool met);
    void section(const std::string &title);
    void detail(const char *fmt, ...) __attribute__((format(gnu_printf, 2, 3)));
    // A figure that could not be measured at all; returns false.
    bool fail(const std::string &what);
    // The simulator back to its defaults, temperatures frozen, wire pacing on or off.
    void resetSimulator(bool paced);
    // Waits until the simulator has sent `frames` more frames; false after timeoutMs.
    bool awaitFrames(int frames, DWORD timeoutMs) const;
    // The thread that last opened the device, from the simulator's call log (0: none).
    DWORD lastOpener() const;
    void print(const std::string &header) const;

    struct Row {
        std::string figure, value, target, met; // met: "yes", "NO" or "-" (no target)
    };
    std::vector<Row> rows;
    std::vector<std::string> details, failures;
};

template <class Fn>
Fn exportOf(HMODULE module, const char *name)
{
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

// The seven meters, their parameter ranges, and whether they show half
// degrees ("%4.1f" of value * 0.5) or a whole number ("%d").
struct MeterSpec {
    const char *name;
    bool halfDegrees;
    int first, last;
};
constexpr int kMeterCount = 7;
extern const MeterSpec kMeters[kMeterCount];
// "0" ... "285", with static storage.
const char *parameterText(int index);

// VORN.dll, loaded for one figure; at the end of the scope dllshutdown (if
// started) and the unload, which stops the poller.
class Plugin {
public:
    Plugin();
    ~Plugin();
    Plugin(const Plugin &) = delete;
    Plugin &operator=(const Plugin &) = delete;

    bool loaded() const { return module_ != nullptr; }
    HMODULE module() const { return module_; }
    template <class Fn>
    Fn get(const char *name) const
    {
        return exportOf<Fn>(module_, name);
    }
    void start(HWND window); // dllstartup, as a host calls it
    // One status exchange with device 0 (openConnection, readFromVorn, then
    // FT_Close): a poll cycle's device work, which publishes the frame to the
    // meters. Null, or the failure text.
    const char *exchange() const;

private:
    HMODULE module_;
    void *instanceBlock_ = nullptr;
    bool started_ = false;
    OpenConnectionFn openConnection_;
    ReadFromVornFn readFromVorn_;
};

// The plug-in's settings for one figure (device 0, one poll a second, or a
// refresh rate the plug-in refuses). HKCU is mapped, for this process and the
// seed's lifetime, to a volatile key of the bench's own: the settings a user
// or a test stored stay untouched.
class SettingsSeed {
public:
    SettingsSeed();
    ~SettingsSeed();
    SettingsSeed(const SettingsSeed &) = delete;
    SettingsSeed &operator=(const SettingsSeed &) = delete;
    bool seed(bool damagedRefreshRate = false);

private:
    HKEY standIn_ = nullptr;
};

// Starts every thread, runs meanwhile() on this one, then sets stop and waits
// (bounded) for them all. False when a thread could not start or did not end:
// the caller must then leave the threads' data to them.
struct ThreadSpec {
    LPTHREAD_START_ROUTINE proc;
    void *argument;
};
bool runThreads(const std::vector<ThreadSpec> &threads, std::atomic<bool> &stop,
                const std::function<void()> &meanwhile);

// Heap allocations a module makes, counted exactly: its import slots of every
// allocation function point at counting wrappers that call on to the real
// ones, so transient blocks count too; other modules' calls do not.
class AllocationHooks {
public:
    explicit AllocationHooks(HMODULE module);
    ~AllocationHooks();
    AllocationHooks(const AllocationHooks &) = delete;
    AllocationHooks &operator=(const AllocationHooks &) = delete;

    int patched() const { return static_cast<int>(patches_.size()); }
    // Calls since the reset; breakdown gets "malloc=3, HeapAlloc=1" or "none".
    static void resetCounts();
    static long counted(std::string *breakdown = nullptr);

private:
    struct Patch {
        void **slot;
        void *original;
    };
    std::vector<Patch> patches_;
};
