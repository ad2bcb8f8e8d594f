#include "tests/support/exportDirectory.h"

ExportDirectory readExportDirectory(HMODULE module)
{
    ExportDirectory result;
    const BYTE *base = reinterpret_cast<const BYTE *>(module);
    const auto *dos = reinterpret_cast<const IMAGE_DOS_HEADER *>(base);
    const auto *nt = reinterpret_cast<const IMAGE_NT_HEADERS *>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY &entry = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    if (entry.VirtualAddress == 0)
        return result;
    const auto *dir = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY *>(base + entry.VirtualAddress);
    result.moduleName = reinterpret_cast<const char *>(base + dir->Name);
    const DWORD *names = reinterpret_cast<const DWORD *>(base + dir->AddressOfNames);
    const WORD *ordinals = reinterpret_cast<const WORD *>(base + dir->AddressOfNameOrdinals);
    const DWORD *functions = reinterpret_cast<const DWORD *>(base + dir->AddressOfFunctions);
    for (DWORD i = 0; i < dir->NumberOfNames; ++i)
        result.nameToRva[reinterpret_cast<const char *>(base + names[i])] = functions[ordinals[i]];
    return result;
}
