// Counting wrappers for every allocation function a module may import,
// placed in its import address table (see AllocationHooks in bench.h).
#include "bench/bench.h"

namespace {

constexpr int kHooked = 16;
std::atomic<long> counters[kHooked];
void *originals[kHooked];

// Wrapper number Id counts its call and calls on to the original function.
template <int Id, class R, class... A>
R __cdecl cdeclHook(A... a)
{
    counters[Id].fetch_add(1, std::memory_order_relaxed);
    return reinterpret_cast<R(__cdecl *)(A...)>(originals[Id])(a...);
}
template <int Id, class R, class... A>
R WINAPI winapiHook(A... a)
{
    counters[Id].fetch_add(1, std::memory_order_relaxed);
    return reinterpret_cast<R(WINAPI *)(A...)>(originals[Id])(a...);
}

// Each wrapper's Id is its position here.
const struct {
    const char *name;
    void *wrapper;
} kHooks[] = {
    {"malloc", reinterpret_cast<void *>(cdeclHook<0, void *, size_t>)},
    {"calloc", reinterpret_cast<void *>(cdeclHook<1, void *, size_t, size_t>)},
    {"realloc", reinterpret_cast<void *>(cdeclHook<2, void *, void *, size_t>)},
    {"_recalloc", reinterpret_cast<void *>(cdeclHook<3, void *, void *, size_t, size_t>)},
    {"strdup", reinterpret_cast<void *>(cdeclHook<4, char *, const char *>)},
    {"_strdup", reinterpret_cast<void *>(cdeclHook<5, char *, const char *>)},
    {"_aligned_malloc", reinterpret_cast<void *>(cdeclHook<6, void *, size_t, size_t>)},
    {"_aligned_realloc", reinterpret_cast<void *>(cdeclHook<7, void *, void *, size_t, size_t>)},
    {"HeapAlloc", reinterpret_cast<void *>(winapiHook<8, LPVOID, HANDLE, DWORD, SIZE_T>)},
    {"HeapReAlloc", reinterpret_cast<void *>(winapiHook<9, LPVOID, HANDLE, DWORD, LPVOID, SIZE_T>)},
    {"RtlAllocateHeap", reinterpret_cast<void *>(winapiHook<10, LPVOID, HANDLE, ULONG, SIZE_T>)},
    {"LocalAlloc", reinterpret_cast<void *>(winapiHook<11, HLOCAL, UINT, SIZE_T>)},
    {"LocalReAlloc", reinterpret_cast<void *>(winapiHook<12, HLOCAL, HLOCAL, SIZE_T, UINT>)},
    {"GlobalAlloc", reinterpret_cast<void *>(winapiHook<13, HGLOBAL, UINT, SIZE_T>)},
    {"GlobalReAlloc", reinterpret_cast<void *>(winapiHook<14, HGLOBAL, HGLOBAL, SIZE_T, UINT>)},
    {"VirtualAlloc", reinterpret_cast<void *>(winapiHook<15, LPVOID, LPVOID, SIZE_T, DWORD, DWORD>)},
};
static_assert(sizeof kHooks / sizeof kHooks[0] == kHooked, "one counter per hook");

bool writeSlot(void **slot, void *value)
{
    DWORD oldProtect = 0;
    if (!VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &oldProtect))
        return false;
    // One aligned store: a thread calling through the slot meanwhile gets
    // either the old or the new address, both valid.
    *reinterpret_cast<void *volatile *>(slot) = value;
    VirtualProtect(slot, sizeof *slot, oldProtect, &oldProtect);
    return true;
}

} // namespace

AllocationHooks::AllocationHooks(HMODULE module)
{
    counted();
    auto *base = reinterpret_cast<BYTE *>(module);
    const auto *nt =
        reinterpret_cast<const IMAGE_NT_HEADERS *>(base + reinterpret_cast<const IMAGE_DOS_HEADER *>(base)->e_lfanew);
    const DWORD imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress;
    for (auto *dll = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR *>(base + imports); imports != 0 && dll->Name != 0;
         ++dll) {
        if (dll->OriginalFirstThunk == 0) // without the name table the slots cannot be told apart
            continue;
        auto *names = reinterpret_cast<const IMAGE_THUNK_DATA *>(base + dll->OriginalFirstThunk);
        auto *slots = reinterpret_cast<IMAGE_THUNK_DATA *>(base + dll->FirstThunk);
        for (; names->u1.AddressOfData != 0; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal))
                continue;
            const char *name = reinterpret_cast<const char *>(
                reinterpret_cast<IMAGE_IMPORT_BY_NAME *>(base + names->u1.AddressOfData)->Name);
            for (int h = 0; h < kHooked; ++h) {
                void **slot = reinterpret_cast<void **>(&slots->u1.Function);
                if (std::strcmp(name, kHooks[h].name) != 0 || *slot == kHooks[h].wrapper)
                    continue;
                if (originals[h] == nullptr)
                    originals[h] = *slot;
                // Another library's function of the same name is left alone.
                if (originals[h] == *slot && writeSlot(slot, kHooks[h].wrapper))
                    patches_.push_back({slot, originals[h]});
            }
        }
    }
}

AllocationHooks::~AllocationHooks()
{
    for (const auto &patch : patches_)
        writeSlot(patch.first, patch.second);
}

long AllocationHooks::counted(std::string *breakdown)
{
    long total = 0;
    std::string text;
    for (int h = 0; h < kHooked; ++h) {
        const long n = counters[h].exchange(0);
        total += n;
        if (n != 0)
            text += format("%s%s=%ld", text.empty() ? "" : ", ", kHooks[h].name, n);
    }
    if (breakdown != nullptr)
        *breakdown = text.empty() ? "none" : text;
    return total;
}
