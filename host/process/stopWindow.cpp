#include "host/process/stopWindow.h"

#include "host/process/stopRequest.h"

namespace {

const char kWindowClass[] = "VornHostWindow";
const wchar_t kBlockReason[] = L"vornhost is setting the fans to their exit duties";
constexpr DWORD kThreadWaitMs = 2000;

LRESULT CALLBACK stopWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_QUERYENDSESSION:
        ShutdownBlockReasonCreate(window, kBlockReason);
        return TRUE;
    case WM_ENDSESSION:
        if (wParam) {
            requestStop((lParam & ENDSESSION_LOGOFF) != 0 ? StopCause::LogOff : StopCause::Shutdown);
            awaitExitDuties();
        }
        ShutdownBlockReasonDestroy(window);
        return 0;
    case WM_POWERBROADCAST:
        if (wParam == PBT_APMRESUMEAUTOMATIC)
            SetEvent(reinterpret_cast<HANDLE>(GetWindowLongPtrA(window, GWLP_USERDATA)));
        return TRUE;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

} // namespace

StopWindow::~StopWindow()
{
    bool ended = true;
    if (thread_ != nullptr) {
        PostThreadMessageA(threadId_, WM_QUIT, 0, 0);
        ended = WaitForSingleObject(thread_, kThreadWaitMs) == WAIT_OBJECT_0;
        CloseHandle(thread_);
    }
    // A thread that did not end in time may still touch the events: they
    // stay for the process's life then.
    if (!ended)
        return;
    if (ready_ != nullptr)
        CloseHandle(ready_);
    if (resumed_ != nullptr)
        CloseHandle(resumed_);
}

bool StopWindow::start()
{
    resumed_ = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    ready_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (resumed_ == nullptr || ready_ == nullptr)
        return false;
    thread_ = CreateThread(nullptr, 0, run, this, 0, &threadId_);
    return thread_ != nullptr && WaitForSingleObject(ready_, kThreadWaitMs) == WAIT_OBJECT_0;
}

DWORD WINAPI StopWindow::run(void *self)
{
    auto *owner = static_cast<StopWindow *>(self);
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = stopWindowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = kWindowClass;
    RegisterClassA(&windowClass); // fails harmlessly when already registered
    HWND window = CreateWindowExA(0, kWindowClass, "vornhost", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, 320,
                                  200, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    if (window == nullptr)
        return 1;
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(owner->resumed_));
    SetEvent(owner->ready_);
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    DestroyWindow(window);
    return 0;
}
