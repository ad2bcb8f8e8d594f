#include "host/plugin/hostSession.h"

#include <cstdio>
#include <string>

#include "core/pollInterval.h"
#include "core/settingsNames.h"
#include "core/turnTaking.h"
#include "host/plugin/meterTable.h"
#include "host/process/stopRequest.h"
#include "host/process/storedSettings.h"

namespace {

const char kWindowClass[] = "VornHostWindow";

// The plug-in's refresh interval as its settings hold it and its poller
// takes it, in milliseconds; one second when there is none.
ULONGLONG refreshIntervalMs()
{
    const int32_t seconds = storedSetting(kRefreshRateValue).value_or(1);
    return static_cast<ULONGLONG>(effectiveInterval(seconds)) * 1000;
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
    instanceBlock_ = plugin.dllstartup(withWindow ? window : nullptr, 0);
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

void HostSession::pumpMessages(DWORD timeoutMs, HANDLE wake)
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
        if (MsgWaitForMultipleObjects(wake != nullptr, &wake, FALSE, timeoutMs - elapsed, QS_ALLINPUT) ==
                WAIT_OBJECT_0 &&
            wake != nullptr)
            return;
    }
}

void HostSession::waitForPoll(PollSchedule &schedule)
{
    pumpMessages(static_cast<DWORD>(schedule.waitMs()), stopEvent());
}

bool HostSession::waitForFirstPoll(const std::atomic<bool> *cancel)
{
    const ULONGLONG start = GetTickCount64();
    const ULONGLONG limit = refreshIntervalMs() + kControllerTurnMs;
    while ((cancel == nullptr || !*cancel) && GetTickCount64() - start < limit) {
        if (firstPollIn())
            return true;
        pumpMessages(50);
    }
    return false;
}

bool HostSession::firstPollIn() const
{
    for (const MeterInfo &value : meters) {
        if (value.name != "GetValue")
            continue;
        char buffer[64];
        for (int i = value.low; i <= value.high; ++i) {
            const char *text = readMeterText(value, i, buffer);
            if (text != buffer || std::string(text) != "0")
                return true;
        }
    }
    return false;
}
