#include "controller/codeInUse.h"

#include <tlhelp32.h>

#include "state/moduleState.h"

namespace {

bool insideThisModule(DWORD_PTR address)
{
    const auto *image = reinterpret_cast<const BYTE *>(moduleInstance);
    const auto *dos = reinterpret_cast<const IMAGE_DOS_HEADER *>(image);
    const auto *nt = reinterpret_cast<const IMAGE_NT_HEADERS *>(image + dos->e_lfanew);
    return address - reinterpret_cast<DWORD_PTR>(image) < nt->OptionalHeader.SizeOfImage;
}

// A thread that cannot be opened or suspended has ended, or is not one a
// host thread can be: it counts as elsewhere.
bool runsHere(DWORD threadId)
{
    HANDLE thread = OpenThread(THREAD_SUSPEND_RESUME | THREAD_GET_CONTEXT, FALSE, threadId);
    if (thread == nullptr)
        return false;
    bool here = false;
    if (SuspendThread(thread) != static_cast<DWORD>(-1)) {
        CONTEXT context = {};
        context.ContextFlags = CONTEXT_CONTROL;
        if (GetThreadContext(thread, &context)) {
#ifdef _WIN64
            here = insideThisModule(context.Rip);
#else
            here = insideThisModule(context.Eip);
#endif
        }
        ResumeThread(thread);
    }
    CloseHandle(thread);
    return here;
}

bool anotherThreadRunsHere()
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return false;
    const DWORD process = GetCurrentProcessId(), self = GetCurrentThreadId();
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    bool found = false;
    for (BOOL more = Thread32First(snapshot, &entry); more && !found; more = Thread32Next(snapshot, &entry))
        found = entry.th32OwnerProcessID == process && entry.th32ThreadID != self && runsHere(entry.th32ThreadID);
    CloseHandle(snapshot);
    return found;
}

} // namespace

bool awaitNoOtherThreadHere(DWORD waitMs)
{
    const DWORD start = GetTickCount();
    while (anotherThreadRunsHere()) {
        if (GetTickCount() - start >= waitMs)
            return false;
        Sleep(1);
    }
    return true;
}
