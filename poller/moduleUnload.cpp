#include "poller/moduleUnload.h"

#include <windows.h>

#include <atomic>

#include "controller/moduleLock.h"
#include "poller/pollerLifecycle.h"
#include "state/callsInside.h"
#include "state/moduleState.h"

namespace {

// The blocks dllstartup handed out and dllshutdown has not freed yet.
std::atomic<long> instances{0};

// Set by the unload's teardown; a start that finds it set runs in an image
// that was kept loaded.
std::atomic<bool> tornDown{false};

// Set once the module is pinned: it stays mapped until the process ends.
std::atomic<bool> pinned{false};

// The host waits this long at most in dllshutdown for the calls inside: a
// read's time-out (3 s) with room to spare.
constexpr DWORD kDrainBudgetMs = 5000;

// Keeps the image mapped for the rest of the process, however often
// FreeLibrary is called; true when it is (or already was).
bool keepModuleLoaded()
{
    if (pinned.load())
        return true;
    HMODULE self = nullptr;
    const bool kept = GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_PIN | GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                                         reinterpret_cast<LPCSTR>(moduleInstance), &self) != 0;
    pinned.store(kept);
    return kept;
}

// The count is looked at every millisecond: rare (a host that unloads with
// calls in flight) and short (waiters were let go, reads end within 3 s).
bool awaitBoundedCallsGone(DWORD waitMs)
{
    const DWORD start = GetTickCount();
    while (boundedCallsInside() > 0) {
        if (GetTickCount() - start >= waitMs)
            return false;
        Sleep(1);
    }
    return true;
}

bool tearDown()
{
    tornDown.store(true);
    return stopPoller();
}

} // namespace

void instanceStarting()
{
    if (tornDown.exchange(false))
        startModuleState();
    letWaitersIn();
}

void instanceHandedOut(const void *block)
{
    if (block != nullptr)
        instances.fetch_add(1);
}

void instanceFreed(const void *block)
{
    if (block == nullptr)
        return;
    // A block freed twice, or one that is not ours, must not drain early.
    long held = instances.load();
    while (held > 0 && !instances.compare_exchange_weak(held, held - 1)) {
    }
    if (held != 1)
        return;
    letWaitersGo();
    if (awaitBoundedCallsGone(kDrainBudgetMs) && callsInside() == 0) {
        // All out: FreeLibrary may unmap the image. Should the host start
        // again instead, its fan commands wait for their turn as before.
        letWaitersIn();
        return;
    }
    if (keepModuleLoaded())
        tearDown();
}

void detachModule()
{
    const bool pollerOut = tearDown();
    if (!pollerOut || callsInside() != 0)
        keepModuleLoaded();
}
