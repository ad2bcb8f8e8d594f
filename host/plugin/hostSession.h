// A started plug-in, as the desktop host keeps it: loaded, given a window of
// the host's own, and started with dllstartup; stopped and unloaded again.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>
#include <vector>

#include "control/pollSchedule.h"
#include "host/plugin/pluginLoader.h"

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

    // Handles the window's messages for up to timeoutMs, or until `wake` (an
    // event, when given) is set.
    void pumpMessages(DWORD timeoutMs, HANDLE wake = nullptr);
    // Handles them until the schedule's next poll is due, or until a stop is
    // requested (host/process/stopRequest.h).
    void waitForPoll(PollSchedule &schedule);

    // Until the started plug-in's first poll is in, every meter reads 0 and
    // its poller may not yet have read the stored device number. Waits for a
    // frame (some numbered byte other than 0) or a pending error, for up to
    // one refresh interval and one cycle's length, or until *cancel is set.
    // True when the poll is in.
    bool waitForFirstPoll(const std::atomic<bool> *cancel = nullptr);
    // Whether that poll is in, now.
    bool firstPollIn() const;

    Plugin plugin;
    std::vector<MeterInfo> meters;
    HWND window = nullptr;

private:
    void *instanceBlock_ = nullptr;
};
