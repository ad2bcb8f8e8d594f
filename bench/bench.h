// What the figures of vornbench share. A figure is one function taking the
// Bench, registered in the table in main.cpp; it reaches the plug-in through
// VORN.dll's exports only, and the simulated controller through SimControl.
#pragma once

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
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
// Looks every millisecond until done() holds; false after timeoutMs.
bool waitUntil(DWORD timeoutMs, const std::function<bool()> &done);

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
constexpr double kWireMs = (1.0 + SIM_FRAME_SIZE) * 10 * 1000 / kBaudRate;

// The run: options, the simulator, the plug-in's settings, and the report (a
// table row per figure, then the details each figure left).
struct Bench {
    Bench() = default;
    ~Bench();
    Bench(const Bench &) = delete;
    Bench &operator=(const Bench &) = delete;
    bool quick = false; // fewer batches, shorter windows: a smoke run
    SimControl sim;

    // The plug-in's settings for the next dllstartup: device 0, one poll a
    // second, or a refresh rate it refuses. The first seed makes the window,
    // so that the display driver starts with the real HKCU, then maps HKCU in
    // this process, for the run, to a volatile key of the bench's own: the
    // settings a user or a test stored stay untouched.
    bool seed(bool damagedRefreshRate = false);
    HWND window = nullptr; // this thread's, for the settings box to belong to; null without a display

    // A row; target "-" for a figure without one.
    void row(const std::string &figure, const std::string &value, const std::string &target, bool met);
    void section(const std::string &title);
    void detail(const char *fmt, ...) __attribute__((format(gnu_printf, 2, 3)));
    bool fail(const std::string &what); // a figure that could not be measured at all; false
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

private:
    bool seeded_ = false;
    HKEY standIn_ = nullptr;
};

template <class Fn>
Fn exportOf(HMODULE module, const char *name)
{
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

// The seven meters, their parameter ranges, and whether they show half
// degrees ("%4.1f" of value * 0.5) or a whole number ("%d").
struct MeterRange {
    const char *name;
    bool halfDegrees;
    int first, last;
};
constexpr int kMeterCount = 7;
extern const MeterRange kMeters[kMeterCount];
const char *parameterText(int index); // "0" ... "285", with static storage

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
    // A poll cycle's device work, which publishes the frame to the meters:
    // openConnection(0), readFromVorn, FT_Close. Null, or the failure text.
    const char *exchange() const;

private:
    HMODULE module_;
    void *instanceBlock_ = nullptr;
    bool started_ = false;
    OpenConnectionFn openConnection_;
    ReadFromVornFn readFromVorn_;
};

// Pumps this thread's messages (the box disables and activates its owner)
// until the poller's settings box owned by owner shows; with pressOk, presses
// OK and waits until it is gone. The box's thread, or 0 after timeoutMs.
DWORD pumpSettingsBox(HWND owner, bool pressOk, DWORD timeoutMs);

// Starts every thread, runs meanwhile() on this one, then sets stop and waits
// (bounded) for them all. False when a thread could not start or did not end:
// the caller must then leave the threads' data to them.
using ThreadSpec = std::pair<LPTHREAD_START_ROUTINE, void *>; // a thread's procedure and argument
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
    // Calls since the last count or the hooks' placing; breakdown gets
    // "malloc=3, HeapAlloc=1" or "none".
    static long counted(std::string *breakdown = nullptr);

private:
    std::vector<std::pair<void **, void *>> patches_; // a slot, and what it held
};
