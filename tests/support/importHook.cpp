#include "tests/support/importHook.h"

#include <cstring>

namespace {

void writeSlot(void **slot, void *value)
{
    DWORD oldProtection = 0;
    VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &oldProtection);
    *slot = value;
    VirtualProtect(slot, sizeof *slot, oldProtection, &oldProtection);
}

} // namespace

ImportHook::ImportHook(const char *dll, const char *function, const void *replacement, HMODULE module)
{
    BYTE *base = reinterpret_cast<BYTE *>(module != nullptr ? module : GetModuleHandleA(nullptr));
    const auto *dos = reinterpret_cast<const IMAGE_DOS_HEADER *>(base);
    const auto *nt = reinterpret_cast<const IMAGE_NT_HEADERS *>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY &entry = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (entry.VirtualAddress == 0)
        return;
    for (auto *import = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR *>(base + entry.VirtualAddress);
         import->Name != 0; ++import) {
        if (_stricmp(reinterpret_cast<const char *>(base + import->Name), dll) != 0)
            continue;
        const auto *names = reinterpret_cast<const IMAGE_THUNK_DATA *>(base + import->OriginalFirstThunk);
        auto *slots = reinterpret_cast<IMAGE_THUNK_DATA *>(base + import->FirstThunk);
        for (; names->u1.AddressOfData != 0; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal))
                continue;
            const auto *byName = reinterpret_cast<const IMAGE_IMPORT_BY_NAME *>(base + names->u1.AddressOfData);
            if (std::strcmp(reinterpret_cast<const char *>(byName->Name), function) != 0)
                continue;
            slot_ = reinterpret_cast<void **>(&slots->u1.Function);
            original_ = *slot_;
            writeSlot(slot_, const_cast<void *>(replacement));
            return;
        }
    }
}

ImportHook::~ImportHook()
{
    if (slot_ != nullptr)
        writeSlot(slot_, original_);
}
