#include "serviceSupport.h"

#include <knownfolders.h>
#include <shlobj.h>

#include <fstream>
#include <sstream>

namespace {

std::string systemFolderBridge()
{
    char folder[MAX_PATH] = "";
    GetSystemDirectoryA(folder, MAX_PATH);
    return std::string(folder) + "\\FTD2XX.dll";
}

// A new file, never written through an old one's name: the test prefixes
// of side-by-side runs share their files as hard links.
bool copyToSystemFolder(HMODULE simulator)
{
    char path[MAX_PATH] = "";
    GetModuleFileNameA(simulator, path, MAX_PATH);
    DeleteFileA(systemFolderBridge().c_str());
    return CopyFileA(path, systemFolderBridge().c_str(), TRUE) != FALSE;
}

// The simulator's switch for services (simulator/README.md).
void shareWithServices(bool on)
{
    if (on) {
        const DWORD shared = 1;
        RegSetKeyValueA(HKEY_LOCAL_MACHINE, "SOFTWARE\\VornSimulator", "Shared", REG_DWORD, &shared, sizeof shared);
    } else {
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\VornSimulator");
    }
}

} // namespace

std::string fileText(const std::string &path)
{
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

ProgramRun vornhost(const std::string &arguments)
{
    return runProgram("vornhost.exe " + arguments, 30000);
}

bool loadSharedSimulator(SimControl &sim)
{
    SetEnvironmentVariableA("VORNSIM_SHARED", "1");
    static HMODULE simulator = LoadLibraryA("FTD2XX.dll");
    if (simulator == nullptr || !sim.load(simulator) || sim.isShared() != 1)
        return false;
    if (!copyToSystemFolder(simulator)) {
        sim.missing = "the copy of FTD2XX.dll in the system folder";
        return false;
    }
    sim.reset();
    shareWithServices(true);
    return true;
}

int frameDuty(SimControl &sim, int fan)
{
    unsigned char frame[SIM_FRAME_SIZE];
    return sim.getFrame(0, frame) == 0 ? 2 * static_cast<int>(frame[SIM_OFF_DUTY + fan]) : -1;
}

int scQuery()
{
    return runProgram("sc.exe query VORNFanControl", 10000).exitCode;
}

void removeService()
{
    vornhost("service uninstall");
    shareWithServices(false);
    DeleteFileA(systemFolderBridge().c_str());
}

std::string knownFolderPath(const GUID &folder)
{
    PWSTR wide = nullptr;
    std::string path;
    if (SHGetKnownFolderPath(folder, 0, nullptr, &wide) == S_OK)
        for (const wchar_t *c = wide; *c != L'\0'; ++c)
            path += static_cast<char>(*c); // the prefix's paths are ASCII
    CoTaskMemFree(wide);
    return path;
}

std::string serviceDataFolder()
{
    return knownFolderPath(FOLDERID_ProgramData) + "\\VORN";
}

std::string installedProgram()
{
    return knownFolderPath(FOLDERID_ProgramFiles) + "\\VORN\\vornhost.exe";
}
