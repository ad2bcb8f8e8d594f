// Reads a loaded module's export directory straight from its PE image.
#pragma once

#include <windows.h>

#include <map>
#include <string>

struct ExportDirectory {
    std::string moduleName;
    std::map<std::string, DWORD> nameToRva; // every exported name and its function's address
};

ExportDirectory readExportDirectory(HMODULE module);
