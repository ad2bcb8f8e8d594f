// Figure 5: heap allocations in steady state, per meter call and per poll
// cycle, counted both ways (see heapAllocations.h):
// - with counting wrappers in the import slots of the code under test
//   (VORN.dll for the meters; vornbench.exe, which links the poll cycle in,
//   for back-to-back cycles), which also sees blocks freed again at once;
// - by walking every heap of the process before and after and comparing the
//   numbers of busy blocks, which sees growth made by any module (the
//   simulator and Wine included).
// The real poller thread's cycles in VORN.dll are counted the first way
// during the idle CPU measurement (see pollerCpu.cpp).
#include "bench/heapAllocations.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

#include "bench/bench.h"
#include "bench/meters.h"
#include "core/statusFrame.h"
#include "poller/pollThread.h"
#include "state/moduleState.h"

namespace {

enum Hooked {
    kMalloc,
    kCalloc,
    kRealloc,
    kRecalloc,
    kStrdup,
    kUnderscoreStrdup,
    kAlignedMalloc,
    kAlignedRealloc,
    kHeapAlloc,
    kHeapReAlloc,
    kRtlAllocateHeap,
    kLocalAlloc,
    kLocalReAlloc,
    kGlobalAlloc,
    kGlobalReAlloc,
    kVirtualAlloc,
    kHookedCount
};

static_assert(kHookedCount <= std::tuple_size<decltype(AllocationCounts::calls)>::value, "too many hooks");

std::atomic<long> counters[kHookedCount];
void *originals[kHookedCount];

template <class Fn>
Fn original(Hooked which)
{
    return reinterpret_cast<Fn>(originals[which]);
}

void counted(Hooked which)
{
    counters[which].fetch_add(1, std::memory_order_relaxed);
}

void *__cdecl hookMalloc(size_t n)
{
    counted(kMalloc);
    return original<void *(__cdecl *)(size_t)>(kMalloc)(n);
}
void *__cdecl hookCalloc(size_t n, size_t size)
{
    counted(kCalloc);
    return original<void *(__cdecl *)(size_t, size_t)>(kCalloc)(n, size);
}
void *__cdecl hookRealloc(void *p, size_t n)
{
    counted(kRealloc);
    return original<void *(__cdecl *)(void *, size_t)>(kRealloc)(p, n);
}
void *__cdecl hookRecalloc(void *p, size_t n, size_t size)
{
    counted(kRecalloc);
    return original<void *(__cdecl *)(void *, size_t, size_t)>(kRecalloc)(p, n, size);
}
char *__cdecl hookStrdup(const char *s)
{
    counted(kStrdup);
    return original<char *(__cdecl *)(const char *)>(kStrdup)(s);
}
char *__cdecl hookUnderscoreStrdup(const char *s)
{
    counted(kUnderscoreStrdup);
    return original<char *(__cdecl *)(const char *)>(kUnderscoreStrdup)(s);
}
void *__cdecl hookAlignedMalloc(size_t n, size_t alignment)
{
    counted(kAlignedMalloc);
    return original<void *(__cdecl *)(size_t, size_t)>(kAlignedMalloc)(n, alignment);
}
void *__cdecl hookAlignedRealloc(void *p, size_t n, size_t alignment)
{
    counted(kAlignedRealloc);
    return original<void *(__cdecl *)(void *, size_t, size_t)>(kAlignedRealloc)(p, n, alignment);
}
LPVOID WINAPI hookHeapAlloc(HANDLE heap, DWORD flags, SIZE_T n)
{
    counted(kHeapAlloc);
    return original<LPVOID(WINAPI *)(HANDLE, DWORD, SIZE_T)>(kHeapAlloc)(heap, flags, n);
}
LPVOID WINAPI hookHeapReAlloc(HANDLE heap, DWORD flags, LPVOID p, SIZE_T n)
{
    counted(kHeapReAlloc);
    return original<LPVOID(WINAPI *)(HANDLE, DWORD, LPVOID, SIZE_T)>(kHeapReAlloc)(heap, flags, p, n);
}
LPVOID WINAPI hookRtlAllocateHeap(HANDLE heap, ULONG flags, SIZE_T n)
{
    counted(kRtlAllocateHeap);
    return original<LPVOID(WINAPI *)(HANDLE, ULONG, SIZE_T)>(kRtlAllocateHeap)(heap, flags, n);
}
HLOCAL WINAPI hookLocalAlloc(UINT flags, SIZE_T n)
{
    counted(kLocalAlloc);
    return original<HLOCAL(WINAPI *)(UINT, SIZE_T)>(kLocalAlloc)(flags, n);
}
HLOCAL WINAPI hookLocalReAlloc(HLOCAL p, SIZE_T n, UINT flags)
{
    counted(kLocalReAlloc);
    return original<HLOCAL(WINAPI *)(HLOCAL, SIZE_T, UINT)>(kLocalReAlloc)(p, n, flags);
}
HGLOBAL WINAPI hookGlobalAlloc(UINT flags, SIZE_T n)
{
    counted(kGlobalAlloc);
    return original<HGLOBAL(WINAPI *)(UINT, SIZE_T)>(kGlobalAlloc)(flags, n);
}
HGLOBAL WINAPI hookGlobalReAlloc(HGLOBAL p, SIZE_T n, UINT flags)
{
    counted(kGlobalReAlloc);
    return original<HGLOBAL(WINAPI *)(HGLOBAL, SIZE_T, UINT)>(kGlobalReAlloc)(p, n, flags);
}
LPVOID WINAPI hookVirtualAlloc(LPVOID address, SIZE_T n, DWORD type, DWORD protect)
{
    counted(kVirtualAlloc);
    return original<LPVOID(WINAPI *)(LPVOID, SIZE_T, DWORD, DWORD)>(kVirtualAlloc)(address, n, type, protect);
}

struct HookEntry {
    const char *name;
    void *hook;
};

const HookEntry kHooks[kHookedCount] = {
    {"malloc", reinterpret_cast<void *>(hookMalloc)},
    {"calloc", reinterpret_cast<void *>(hookCalloc)},
    {"realloc", reinterpret_cast<void *>(hookRealloc)},
    {"_recalloc", reinterpret_cast<void *>(hookRecalloc)},
    {"strdup", reinterpret_cast<void *>(hookStrdup)},
    {"_strdup", reinterpret_cast<void *>(hookUnderscoreStrdup)},
    {"_aligned_malloc", reinterpret_cast<void *>(hookAlignedMalloc)},
    {"_aligned_realloc", reinterpret_cast<void *>(hookAlignedRealloc)},
    {"HeapAlloc", reinterpret_cast<void *>(hookHeapAlloc)},
    {"HeapReAlloc", reinterpret_cast<void *>(hookHeapReAlloc)},
    {"RtlAllocateHeap", reinterpret_cast<void *>(hookRtlAllocateHeap)},
    {"LocalAlloc", reinterpret_cast<void *>(hookLocalAlloc)},
    {"LocalReAlloc", reinterpret_cast<void *>(hookLocalReAlloc)},
    {"GlobalAlloc", reinterpret_cast<void *>(hookGlobalAlloc)},
    {"GlobalReAlloc", reinterpret_cast<void *>(hookGlobalReAlloc)},
    {"VirtualAlloc", reinterpret_cast<void *>(hookVirtualAlloc)},
};

bool writeSlot(void **slot, void *value)
{
    DWORD oldProtect = 0;
    if (!VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &oldProtect))
        return false;
    // One aligned pointer store: a thread calling through the slot meanwhile
    // gets either the old or the new address, both valid.
    *reinterpret_cast<void *volatile *>(slot) = value;
    DWORD ignored = 0;
    VirtualProtect(slot, sizeof *slot, oldProtect, &ignored);
    return true;
}

} // namespace

int AllocationHooks::install(HMODULE module)
{
    auto *base = reinterpret_cast<BYTE *>(module);
    const auto *dos = reinterpret_cast<const IMAGE_DOS_HEADER *>(base);
    const auto *nt = reinterpret_cast<const IMAGE_NT_HEADERS *>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY &dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (dir.VirtualAddress == 0)
        return 0;
    int patched = 0;
    for (auto *desc = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR *>(base + dir.VirtualAddress); desc->Name != 0;
         ++desc) {
        // Without the name table the bound slots cannot be told apart.
        if (desc->OriginalFirstThunk == 0)
            continue;
        const char *dll = reinterpret_cast<const char *>(base + desc->Name);
        auto *names = reinterpret_cast<const IMAGE_THUNK_DATA *>(base + desc->OriginalFirstThunk);
        auto *slots = reinterpret_cast<IMAGE_THUNK_DATA *>(base + desc->FirstThunk);
        for (; names->u1.AddressOfData != 0; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal))
                continue;
            const auto *byName = reinterpret_cast<const IMAGE_IMPORT_BY_NAME *>(base + names->u1.AddressOfData);
            const char *name = reinterpret_cast<const char *>(byName->Name);
            for (int h = 0; h < kHookedCount; ++h) {
                if (std::strcmp(name, kHooks[h].name) != 0)
                    continue;
                void **slot = reinterpret_cast<void **>(&slots->u1.Function);
                void *current = *slot;
                if (current == kHooks[h].hook)
                    break; // already ours
                if (originals[h] == nullptr)
                    originals[h] = current;
                else if (originals[h] != current)
                    break; // another library's function of that name: leave it
                if (writeSlot(slot, kHooks[h].hook)) {
                    patches_.push_back({slot, current});
                    names_.push_back(std::string(dll) + "!" + name);
                    ++patched;
                }
                break;
            }
        }
    }
    return patched;
}

void AllocationHooks::remove()
{
    for (const Patch &p : patches_)
        writeSlot(p.slot, p.original);
    patches_.clear();
    names_.clear();
}

AllocationCounts AllocationHooks::counts()
{
    AllocationCounts c;
    for (int h = 0; h < kHookedCount; ++h)
        c.calls[h] = counters[h].load();
    return c;
}

long AllocationCounts::total() const
{
    long sum = 0;
    for (long n : calls)
        sum += n;
    return sum;
}

std::string AllocationCounts::describeSince(const AllocationCounts &before) const
{
    std::string text;
    for (int h = 0; h < kHookedCount; ++h) {
        const long n = calls[h] - before.calls[h];
        if (n != 0)
            text += std::string(text.empty() ? "" : ", ") + kHooks[h].name + "=" + std::to_string(n);
    }
    return text.empty() ? "none" : text;
}

HeapCensus takeHeapCensus()
{
    HeapCensus census;
    HANDLE heaps[64];
    const DWORD count = GetProcessHeaps(64, heaps);
    census.heaps = static_cast<int>(count);
    for (DWORD i = 0; i < count && i < 64; ++i) {
        if (!HeapLock(heaps[i])) {
            census.ok = false;
            continue;
        }
        PROCESS_HEAP_ENTRY entry;
        std::memset(&entry, 0, sizeof entry);
        while (HeapWalk(heaps[i], &entry)) {
            if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) {
                ++census.busyBlocks;
                census.busyBytes += entry.cbData;
            }
        }
        if (GetLastError() != ERROR_NO_MORE_ITEMS)
            census.ok = false;
        HeapUnlock(heaps[i]);
    }
    if (count > 64)
        census.ok = false;
    return census;
}

// Figure 5's measurements.

namespace {

constexpr int kMeterCallsEach = 10000;

// "+0 busy blocks, +0 bytes": what the heap walk saw grow in between.
std::string heapGrowth(const HeapCensus &before, const HeapCensus &after)
{
    return format("%+lld busy blocks, %+lld bytes", after.busyBlocks - before.busyBlocks,
                  after.busyBytes - before.busyBytes);
}

// Does the heap walk see blocks that are known to be there? 100 from the C
// library's malloc and 100 from the process heap, taken and given back.
void calibrateCensus(Report &report)
{
    constexpr int kBlocks = 100;
    void *fromMalloc[kBlocks];
    void *fromHeap[kBlocks];
    const HeapCensus before = takeHeapCensus();
    for (int i = 0; i < kBlocks; ++i) {
        fromMalloc[i] = std::malloc(24);
        fromHeap[i] = HeapAlloc(GetProcessHeap(), 0, 24);
    }
    const HeapCensus during = takeHeapCensus();
    for (int i = 0; i < kBlocks; ++i) {
        std::free(fromMalloc[i]);
        HeapFree(GetProcessHeap(), 0, fromHeap[i]);
    }
    report.detail(
        "Heap walk check: %d heaps walked%s; it saw %+lld busy blocks for %d known small allocations "
        "(%d malloc + %d HeapAlloc).",
        during.heaps, during.ok ? "" : " (some not to the end)", during.busyBlocks - before.busyBlocks, 2 * kBlocks,
        kBlocks, kBlocks);
}

} // namespace

bool measureMeterAllocations(Bench &bench)
{
    Report &report = bench.report;
    report.section("5. Heap allocations in steady state");
    calibrateCensus(report);

    MeterFn meters[kMeterCount];
    for (int m = 0; m < kMeterCount; ++m) {
        meters[m] = exportOf<MeterFn>(bench.vorn, kMeters[m].name);
        if (meters[m] == nullptr) {
            report.failure(format("allocations: VORN.dll does not export %s", kMeters[m].name));
            return false;
        }
    }

    AllocationHooks hooks;
    const int patched = hooks.install(bench.vorn);
    std::string names;
    for (const std::string &n : hooks.patchedNames())
        names += (names.empty() ? "" : ", ") + n;
    report.detail("VORN.dll import slots hooked (%d): %s", patched, names.empty() ? "none" : names.c_str());

    char out[32];
    const HeapCensus censusBefore = takeHeapCensus();
    const AllocationCounts before = AllocationHooks::counts();
    for (int m = 0; m < kMeterCount; ++m) {
        const BenchMeter &entry = kMeters[m];
        int index = entry.first;
        for (int i = 0; i < kMeterCallsEach; ++i) {
            meters[m](out, parameterText(index));
            if (++index > entry.last)
                index = entry.first;
        }
    }
    const AllocationCounts after = AllocationHooks::counts();
    const HeapCensus censusAfter = takeHeapCensus();
    hooks.remove();
    const long allocations = after.total() - before.total();
    const std::string breakdown = after.describeSince(before);

    const long calls = static_cast<long>(kMeterCount) * kMeterCallsEach;
    report.detail(
        "Meters: %ld calls through VORN.dll's exports (%d per meter, every parameter in turn): %ld "
        "allocations counted in VORN.dll's import slots (%s); heap walk: %s.",
        calls, kMeterCallsEach, allocations, breakdown.c_str(), heapGrowth(censusBefore, censusAfter).c_str());
    report.row("5. Heap allocations per meter call", format("%ld in %ld calls", allocations, calls), "0",
               allocations == 0 && patched > 0 ? Verdict::Met : Verdict::Missed);
    if (patched == 0)
        report.detail("No import slot of VORN.dll could be hooked: the count above proves nothing.");
    return true;
}

bool measurePollCycleAllocations(Bench &bench)
{
    Report &report = bench.report;
    bench.sim.reset();
    bench.sim.freezeDrift(1);
    // Warm: the first cycles set up what the simulator and the locks keep.
    for (int i = 0; i < 20; ++i)
        runPollCycle();

    const int cycles = bench.quick ? 100 : 500;
    AllocationHooks hooks;
    const int patched = hooks.install(GetModuleHandleA(nullptr));
    // Between the two counts only the poll cycle runs: nothing of the
    // benchmark's own allocates there.
    const int framesBefore = bench.sim.frameCount();
    const HeapCensus censusBefore = takeHeapCensus();
    const int64_t start = qpcNow();
    const AllocationCounts before = AllocationHooks::counts();
    int failures = 0;
    for (int i = 0; i < cycles; ++i) {
        runPollCycle();
        if (lastError.load() != nullptr)
            ++failures;
    }
    const AllocationCounts after = AllocationHooks::counts();
    const double wallMs = msSince(start);
    const HeapCensus censusAfter = takeHeapCensus();
    hooks.remove();
    const long allocations = after.total() - before.total();
    const std::string breakdown = after.describeSince(before);
    const int frames = bench.sim.frameCount() - framesBefore;

    report.detail(
        "Poll cycles: %d back-to-back cycles of the poll cycle linked into vornbench.exe (%d frames, "
        "%d failed), %d import slots of vornbench.exe hooked: %ld allocations (%s); heap walk over the "
        "whole process, simulator included: %s.",
        cycles, frames, failures, patched, allocations, breakdown.c_str(),
        heapGrowth(censusBefore, censusAfter).c_str());
    bench.cycleWallUs = wallMs * 1000 / cycles;
    report.detail("Those cycles took %.1f us each (wall time, one thread, no wire pacing, nothing to wait for).",
                  bench.cycleWallUs);
    report.row("5. Heap allocations per poll cycle (linked-in, back to back)",
               format("%ld in %d cycles", allocations, cycles), "0",
               allocations == 0 && patched > 0 && failures == 0 ? Verdict::Met : Verdict::Missed);
    return true;
}
