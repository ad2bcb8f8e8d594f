#include "serviceSupport.h"

#include <fstream>
#include <sstream>

namespace {

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
}
