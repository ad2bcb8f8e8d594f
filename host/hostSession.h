// A started plug-in, as the desktop host keeps it: loaded, given a window of
// the host's own, and started with dllstartup; stopped and unloaded again.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "host/pluginLoader.h"

class HostSession {
public:
    ~HostSession();

    // Loads the plug-in and its meters; prints the reason and returns false
    // when that fails.
    bool load(const std::string &pluginPath);
    // Creates the host window (hidden) and calls dllstartup with it, or
    // with no window (the plug-in then shows no error box).
    void start(bool withWindow = true);
    // dllshutdown, then FreeLibrary; the plug-in's unload stops its poller.
    void stop();

    // Handles the window's messages for up to timeoutMs.
    void pumpMessages(DWORD timeoutMs);

    Plugin plugin;
    std::vector<MeterInfo> meters;
    HWND window = nullptr;

private:
    void *instanceBlock_ = nullptr;
};
