#include "bench/machine.h"

#include <windows.h>

#include "bench/bench.h"

namespace {

std::string registryText(HKEY root, const char *path, const char *name)
{
    char text[256] = {};
    DWORD size = sizeof text - 1;
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return "";
    DWORD type = 0;
    std::string result;
    if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE *>(text), &size) == ERROR_SUCCESS) {
        if (type == REG_SZ)
            result = text;
        else if (type == REG_DWORD && size == sizeof(DWORD))
            result = std::to_string(*reinterpret_cast<DWORD *>(text));
    }
    RegCloseKey(key);
    return result;
}

const char *architectureName(WORD architecture)
{
    switch (architecture) {
    case PROCESSOR_ARCHITECTURE_AMD64:
        return "x64";
    case PROCESSOR_ARCHITECTURE_INTEL:
        return "x86";
    case PROCESSOR_ARCHITECTURE_ARM:
        return "ARM";
    default:
        return "other";
    }
}

} // namespace

std::string describeMachine()
{
    const char *cpuKey = "HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0";
    std::string name = registryText(HKEY_LOCAL_MACHINE, cpuKey, "ProcessorNameString");
    const std::string mhz = registryText(HKEY_LOCAL_MACHINE, cpuKey, "~MHz");
    const std::string identifier = registryText(HKEY_LOCAL_MACHINE, cpuKey, "Identifier");
    while (!name.empty() && name[0] == ' ')
        name.erase(0, 1);

    SYSTEM_INFO info;
    GetNativeSystemInfo(&info);
    MEMORYSTATUSEX memory;
    memory.dwLength = sizeof memory;
    GlobalMemoryStatusEx(&memory);

    std::string text = format("Processor: %s%s%s\n", name.empty() ? "(no ProcessorNameString)" : name.c_str(),
                              mhz.empty() ? "" : (", ~" + mhz + " MHz").c_str(),
                              identifier.empty() ? "" : (" (" + identifier + ")").c_str());
    text += format("Logical processors: %lu (%s, GetNativeSystemInfo); memory: %.1f GiB\n", info.dwNumberOfProcessors,
                   architectureName(info.wProcessorArchitecture),
                   static_cast<double>(memory.ullTotalPhys) / (1024.0 * 1024 * 1024));

    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    typedef LONG(WINAPI * RtlGetVersionFn)(OSVERSIONINFOW *);
    typedef const char *(__cdecl * WineVersionFn)();
    const auto rtlGetVersion = exportOf<RtlGetVersionFn>(ntdll, "RtlGetVersion");
    const auto wineVersion = exportOf<WineVersionFn>(ntdll, "wine_get_version");
    OSVERSIONINFOW version = {};
    version.dwOSVersionInfoSize = sizeof version;
    if (rtlGetVersion != nullptr && rtlGetVersion(&version) == 0)
        text +=
            format("Windows %lu.%lu build %lu", version.dwMajorVersion, version.dwMinorVersion, version.dwBuildNumber);
    text += wineVersion != nullptr ? format(", under Wine %s\n", wineVersion()) : std::string("\n");
    return text;
}

std::string currentDate()
{
    SYSTEMTIME t;
    GetSystemTime(&t);
    return format("%04u-%02u-%02u %02u:%02u:%02u UTC", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond);
}
