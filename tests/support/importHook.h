// Fault injection: replaces one function that a module imports from a system
// DLL (its import address table entry), for the lifetime of the object. The
// module is this test program by default (the plug-in's code linked in makes
// its registry and memory calls through its table), or a loaded VORN.dll.
#pragma once

#include <windows.h>

class ImportHook {
public:
    ImportHook(const char *dll, const char *function, const void *replacement, HMODULE module = nullptr);
    ~ImportHook();
    ImportHook(const ImportHook &) = delete;
    ImportHook &operator=(const ImportHook &) = delete;

    bool installed() const { return slot_ != nullptr; }

    // For a module about to be unloaded: the entry goes with it.
    void forget() { slot_ = nullptr; }

    // The function that was there before, to pass calls on to.
    template <class Fn>
    Fn original() const
    {
        return reinterpret_cast<Fn>(original_);
    }

private:
    void **slot_ = nullptr;
    void *original_ = nullptr;
};
