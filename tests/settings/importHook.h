// Fault injection for the settings tests: replaces one function that this
// test program imports from a system DLL (its import address table entry),
// for the lifetime of the object. The settings code is linked into the test
// program, so its registry and memory calls go through that table.
#pragma once

#include <windows.h>

class ImportHook {
public:
    ImportHook(const char *dll, const char *function, const void *replacement);
    ~ImportHook();
    ImportHook(const ImportHook &) = delete;
    ImportHook &operator=(const ImportHook &) = delete;

    bool installed() const { return slot_ != nullptr; }

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
