#include "poller/settingsBox.h"

#include <atomic>
#include <cstring>

namespace {

// The owner of the box while the poller may have one open; null otherwise.
std::atomic<HWND> boxOwner{nullptr};

// The top-level window the unload found disabled by the box.
HWND ownerAtUnload = nullptr;

// How often the unload presses OK while it waits (the box may still be on
// its way when the unload begins).
constexpr DWORD kPressOkEveryMs = 20;

BOOL CALLBACK pressOk(HWND window, LPARAM)
{
    char className[16] = {};
    if (GetClassNameA(window, className, sizeof className) > 0 && std::strcmp(className, "#32770") == 0)
        PostMessageA(window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    return TRUE;
}

// A box disables the top-level window of its owner.
HWND topLevel(HWND window)
{
    HWND root = GetAncestor(window, GA_ROOT);
    return root != nullptr ? root : window;
}

void enableIfOwnAndDisabled(HWND window)
{
    if (window != nullptr && IsWindow(window) && GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId() &&
        !IsWindowEnabled(window))
        EnableWindow(window, TRUE);
}

} // namespace

void settingsBoxMayOpen(HWND owner)
{
    boxOwner.store(owner);
}

void settingsBoxClosed()
{
    boxOwner.store(nullptr);
}

void closeSettingsBox(DWORD pollerThreadId, DWORD waitMs)
{
    const HWND owner = boxOwner.load();
    ownerAtUnload = nullptr;
    if (owner == nullptr || pollerThreadId == 0)
        return;
    ownerAtUnload = topLevel(owner);
    enableIfOwnAndDisabled(ownerAtUnload);
    // A box that ends activates its owner; when that owner is this thread's
    // window, the system sends this thread the activation messages and the
    // box's thread waits for the answer. So while it waits, this thread
    // answers messages sent to it (and only those: nothing posted is taken
    // from the host's queue).
    const bool ownerIsOurs = GetWindowThreadProcessId(ownerAtUnload, nullptr) == GetCurrentThreadId();
    const DWORD start = GetTickCount();
    while (boxOwner.load() != nullptr && GetTickCount() - start < waitMs) {
        EnumThreadWindows(pollerThreadId, pressOk, 0);
        if (ownerIsOurs) {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, kPressOkEveryMs, QS_SENDMESSAGE);
            MSG message;
            PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        } else {
            Sleep(kPressOkEveryMs);
        }
    }
}

void reenableBoxOwner()
{
    enableIfOwnAndDisabled(ownerAtUnload);
    ownerAtUnload = nullptr;
}
