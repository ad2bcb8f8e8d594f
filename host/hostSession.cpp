#include "host/hostSession.h"

#include <cstdio>
#include <string>

#include "core/controllerLock.h"
#include "core/pollInterval.h"
#include "host/meterTable.h"

namespace {

const char kWindowClass[] = "VornHostWindow";

// The plug-in's refresh interval as its settings hold it and its poller
// takes it, in milliseconds; one second when there is none.
ULONGLONG refreshIntervalMs()
{
    DWORD seconds = 1, size = sizeof seconds;
    if (RegGetValueA(HKEY_CURRENT_USER, "Software\\Orvendel\\Plugins\\VORN", "Refresh Rate", RRF_RT_REG_DWORD, nullptr,
                     &seconds, &size) != ERROR_SUCCESS)
        seconds = 1;
    return static_cast<ULONGLONG>(effectiveInterval(static_cast<int32_t>(seconds))) * 1000;
}

HWND createHostWindow()
{
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = kWindowClass;
    RegisterClassA(&windowClass); // fails harmlessly when already registered
    return CreateWindowExA(0, kWindowClass, "vornhost", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, 320, 200,
                           nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
}

} // namespace

HostSession::~HostSession()
{
    stop();
}

bool HostSession::load(const std::string &pluginPath)
{
    std::string error;
    if (!loadPlugin(pluginPath.c_str(), plugin, error) || !loadMeters(plugin, meters, error)) {
        std::fprintf(stderr, "vornhost: %s\n", error.c_str());
        unloadPlugin(plugin);
        return false;
    }
    return true;
}

void HostSession::start(bool withWindow)
{
    if (withWindow && window == nullptr)
        window = createHostWindow();
    instanceBlock_ = plugin.dllstartup(window, 0);
}

void HostSession::stop()
{
    if (plugin.module == nullptr)
        return;
    plugin.dllshutdown(instanceBlock_);
    instanceBlock_ = nullptr;
    unloadPlugin(plugin);
    if (window != nullptr)
        DestroyWindow(window);
    window = nullptr;
}

void HostSession::pumpMessages(DWORD timeoutMs)
{
    const DWORD start = GetTickCount();
    for (;;) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        const DWORD elapsed = GetTickCount() - start;
        if (elapsed >= timeoutMs)
            return;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, timeoutMs - elapsed, QS_ALLINPUT);
    }
}

bool HostSession::waitForFirstPoll(const std::atomic<bool> *cancel)
{
    const MeterInfo *value = nullptr;
    for (const MeterInfo &m : meters) {
        if (m.name == "GetValue")
            value = &m;
    }
    const ULONGLONG start = GetTickCount64();
    const ULONGLONG limit = refreshIntervalMs() + kControllerTurnMs;
    while (value != nullptr && (cancel == nullptr || !*cancel) && GetTickCount64() - start < limit) {
        char buffer[64];
        for (int i = value->low; i <= value->high; ++i) {
            const char *text = readMeterText(*value, i, buffer);
            if (text != buffer || std::string(text) != "0")
                return true;
        }
        pumpMessages(50);
    }
    return false;
}
