#include "serviceSupport.h"

namespace {

const char kMachineEnvironment[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";

// VORNSIM_SHARED=1 in the machine's environment, or (`on` false) not.
void shareWithServices(bool on)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kMachineEnvironment, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS)
        return;
    if (on)
        RegSetValueExA(key, "VORNSIM_SHARED", 0, REG_SZ, reinterpret_cast<const BYTE *>("1"), 2);
    else
        RegDeleteValueA(key, "VORNSIM_SHARED");
    RegCloseKey(key);
}

} // namespace

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
