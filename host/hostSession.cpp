#include "host/hostSession.h"

#include <cstdio>

namespace {

const char kWindowClass[] = "VornHostWindow";

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
