// A plug-in started as a host starts it, with its settings in the registry
// and the simulated controller behind it.
#pragma once

#include <memory>
#include <string>

#include "plugin/exports.h"
#include "tests/support/registrySettings.h"
#include "tests/support/simulatorSession.h"

class PollerTest : public SimulatorSession {
protected:
    void SetUp() override
    {
        SimulatorSession::SetUp();
        clearSettings();
    }
    void TearDown() override
    {
        unload();
        clearSettings();
        SimulatorSession::TearDown();
    }
    void load() { plugin = std::make_unique<PluginModule>(); }
    void unload()
    {
        if (plugin) {
            if (block != nullptr)
                plugin->get<DllShutdownFn>("dllshutdown")(block);
            block = nullptr;
            plugin.reset();
        }
    }
    // Loads the plug-in and calls dllstartup, as a host does.
    void start(HWND window = nullptr)
    {
        if (!plugin)
            load();
        void *next = plugin->get<DllStartupFn>("dllstartup")(window, 0);
        if (block != nullptr)
            plugin->get<DllShutdownFn>("dllshutdown")(block);
        block = next;
    }
    std::string meter(const char *name, const char *parameter)
    {
        char buffer[32] = {};
        return plugin->get<MeterFn>(name)(buffer, parameter);
    }
    int opens() const { return sim.counts().calls[SIM_OP_OPEN]; }

    std::unique_ptr<PluginModule> plugin;
    void *block = nullptr;
};
