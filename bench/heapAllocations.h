// The two ways vornbench counts heap allocations (figure 5):
// - exactly, by pointing the slots of a module's import address table for
//   every allocation function (C library and Win32 heap) at counting
//   wrappers that call on to the real ones. Every call the module's code
//   makes to one of them passes a slot, so nothing is missed, transient
//   allocations included; calls from other modules are not counted;
// - as a cross-check, by walking every heap of the process: that sees growth
//   made by any module, but not blocks freed again in between.
#pragma once

#include <windows.h>

#include <array>
#include <string>
#include <vector>

// Calls counted per hooked function, all hooked modules together. Taking
// one allocates nothing, so it can be taken inside a hooked window.
struct AllocationCounts {
    std::array<long, 16> calls{};
    long total() const;
    // "malloc=3, HeapAlloc=1" for the calls made since before, or "none".
    std::string describeSince(const AllocationCounts &before) const;
};

class AllocationHooks {
public:
    AllocationHooks() = default;
    ~AllocationHooks() { remove(); }
    AllocationHooks(const AllocationHooks &) = delete;
    AllocationHooks &operator=(const AllocationHooks &) = delete;

    // Patches the module's import slots; returns how many were patched.
    int install(HMODULE module);
    // Puts the original addresses back.
    void remove();

    // The names of the functions whose slots were patched ("msvcrt.dll!malloc").
    const std::vector<std::string> &patchedNames() const { return names_; }

    // Calls counted since the process started.
    static AllocationCounts counts();

private:
    struct Patch {
        void **slot;
        void *original;
    };
    std::vector<Patch> patches_;
    std::vector<std::string> names_;
};

// Busy blocks and bytes in all of the process's heaps (GetProcessHeaps and
// HeapWalk); ok is false when a heap could not be walked to its end.
struct HeapCensus {
    long long busyBlocks = 0;
    long long busyBytes = 0;
    int heaps = 0;
    bool ok = true;
};
HeapCensus takeHeapCensus();
