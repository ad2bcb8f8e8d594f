// Test access to the built VORN.dll, loaded the way a host loads it.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include "plugin/exports.h"

class PluginModule {
public:
    explicit PluginModule(const char *path = "VORN.dll");
    ~PluginModule();
    PluginModule(const PluginModule &) = delete;
    PluginModule &operator=(const PluginModule &) = delete;

    HMODULE handle() const { return module_; }
    bool loaded() const { return module_ != nullptr; }
    void unload();

    // The export by its plain name, cast to its function type; fails the
    // test when it is missing.
    template <class Fn>
    Fn get(const char *name) const
    {
        FARPROC address = GetProcAddress(module_, name);
        EXPECT_NE(address, nullptr) << name;
        return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(address));
    }

private:
    HMODULE module_;
};
