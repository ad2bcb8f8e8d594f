// simpeer.exe: a second (and third) process for the shared-mode tests, and a
// process started with the environment's scenario (VORNSIM_RAMP...). It
// loads FTD2XX.dll from its own folder, as the plug-in does, and runs the
// steps given on its command line in order, talking to the controller only
// through the bridge operations, like another program on the same machine:
//
//   shared 0|1        simIsShared() must say so
//   set D F P         duty command: fan F of device D to P percent
//   expect D OFF V    a frame read from device D has byte OFF equal to V
//   within D OFF LO HI  ... has byte OFF, read as a signed byte, in LO..HI
//   ramp D S FROM TO SECONDS  ... has sensor S (0..13) where a straight line
//                     from FROM to TO degrees over SECONDS, starting when this
//                     process loaded FTD2XX.dll, puts it while the request is
//                     answered (to the half degree), and holds it at TO after
//   answers D N       open, line settings and status request on device D
//                     succeed, and the read returns status 0 with N bytes
//   save D PATH       a frame read from device D goes into file PATH
//   open D STATUS     FT_Open(D) returns STATUS (the handle is closed again)
//   plug D, unplug D  simPlug / simUnplug
//   turn              take the controller's lock, as the plug-in and vornhost
//                     do, and keep it until the end (after the held handle
//                     is closed)
//   hold D            open and configure D and keep the handle
//   held STATUS       a status request on the held handle returns STATUS;
//                     the handle is closed
//   listed N F SERIAL entry N of the bridge's device list has flags F and
//                     serial number SERIAL ("-": none shown)
//   signal NAME       set the named event
//   wait NAME         wait for the named event, at most 30 s
//   sleep MS
//
// Exit code 0 when every step succeeded, else 1 after a line on stderr
// naming the step.

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

#include "bridge/d2xx.h"
#include "bridge/d2xxList.h"
#include "core/turnTaking.h"
#include "simControl.h"
#include "tests/simulator/bridgeByOrdinal.h"

namespace {

Bridge ft;
SimControl sim;
HMODULE dll = nullptr;
FT_HANDLE held = nullptr;
HANDLE turn = nullptr; // the controller's lock, while the "turn" step holds it
// When FTD2XX.dll was loaded, which created the simulator's state and clock.
std::chrono::steady_clock::time_point loadStart, loadEnd;

bool fail(const std::string &step, const std::string &why)
{
    std::fprintf(stderr, "simpeer %lu: %s: %s\n", GetCurrentProcessId(), step.c_str(), why.c_str());
    return false;
}

bool configured(int device, FT_HANDLE &h, const std::string &step)
{
    h = nullptr;
    FT_STATUS st = ft.open(device, &h);
    if (st != 0)
        return fail(step, "FT_Open returned " + std::to_string(st));
    if (ft.setBaudRate(h, 19200) || ft.setDataCharacteristics(h, 8, 0, 0) || ft.setTimeouts(h, 3000, 0)) {
        ft.close(h);
        return fail(step, "configuring the port failed");
    }
    return true;
}

bool writeBytes(FT_HANDLE h, unsigned char *bytes, DWORD n, FT_STATUS &st)
{
    DWORD written = 0;
    st = ft.write(h, bytes, n, &written);
    return st == 0 && written == n;
}

bool readFrame(int device, unsigned char *frame, const std::string &step)
{
    FT_HANDLE h;
    if (!configured(device, h, step))
        return false;
    unsigned char req = SIM_REQUEST_STATUS;
    FT_STATUS st;
    DWORD got = 0;
    const bool ok = writeBytes(h, &req, 1, st) && ft.read(h, frame, SIM_FRAME_SIZE, &got) == 0 && got == SIM_FRAME_SIZE;
    ft.close(h);
    return ok || fail(step, "no whole frame");
}

bool waitEvent(const std::string &name, bool signal, const std::string &step)
{
    HANDLE e = CreateEventA(nullptr, TRUE, FALSE, name.c_str());
    if (!e)
        return fail(step, "no event");
    const bool ok = signal ? SetEvent(e) != 0 : WaitForSingleObject(e, 30000) == WAIT_OBJECT_0;
    CloseHandle(e);
    return ok || fail(step, signal ? "SetEvent failed" : "not signalled within 30 s");
}

// Runs the step starting at argv[i]; advances i past its arguments.
bool step(int argc, char **argv, int &i)
{
    static const std::map<std::string, int> kArguments = {
        {"shared", 1}, {"set", 3},    {"expect", 3}, {"save", 2},    {"open", 2}, {"plug", 1},
        {"unplug", 1}, {"hold", 1},   {"held", 1},   {"signal", 1},  {"wait", 1}, {"sleep", 1},
        {"listed", 3}, {"within", 4}, {"ramp", 5},   {"answers", 2}, {"turn", 0}};
    const std::string op = argv[i++];
    const auto known = kArguments.find(op);
    if (known == kArguments.end())
        return fail(op, "unknown step");
    if (i + known->second > argc)
        return fail(op, "too few arguments");
    char **a = argv + i;
    i += known->second;
    std::string name = op;
    for (int k = 0; k < known->second; ++k)
        name += std::string(" ") + a[k];
    auto num = [&](int k) { return std::atoi(a[k]); };

    if (op == "shared")
        return sim.isShared() == num(0) || fail(name, "simIsShared() is " + std::to_string(sim.isShared()));
    if (op == "set") {
        FT_HANDLE h;
        if (!configured(num(0), h, name))
            return false;
        unsigned char cmd[2] = {static_cast<unsigned char>(SIM_CMD_SET_DUTY + num(1)),
                                static_cast<unsigned char>(num(2))};
        FT_STATUS st;
        const bool ok = writeBytes(h, cmd, 2, st);
        ft.close(h);
        return ok || fail(name, "FT_Write returned " + std::to_string(st));
    }
    if (op == "expect") {
        unsigned char frame[SIM_FRAME_SIZE];
        if (!readFrame(num(0), frame, name))
            return false;
        const int offset = num(1);
        if (offset < 0 || offset >= SIM_FRAME_SIZE)
            return fail(name, "no such offset");
        return frame[offset] == num(2) || fail(name, "byte is " + std::to_string(frame[offset]));
    }
    if (op == "within") {
        unsigned char frame[SIM_FRAME_SIZE];
        if (!readFrame(num(0), frame, name))
            return false;
        const int value = static_cast<signed char>(frame[std::min(std::max(num(1), 0), SIM_FRAME_SIZE - 1)]);
        return (value >= num(2) && value <= num(3)) || fail(name, "byte is " + std::to_string(value));
    }
    if (op == "ramp") {
        const double from = std::atof(a[2]), to = std::atof(a[3]), seconds = std::atof(a[4]);
        // The line's value in half degrees at `t` for a clock started at `origin`.
        auto line = [&](std::chrono::steady_clock::time_point t, std::chrono::steady_clock::time_point origin) {
            const double share = std::chrono::duration<double>(t - origin).count() / seconds;
            return 2 * (from + (to - from) * std::min(std::max(share, 0.0), 1.0));
        };
        unsigned char frame[SIM_FRAME_SIZE];
        const auto asked = std::chrono::steady_clock::now();
        if (!readFrame(num(0), frame, name))
            return false;
        const auto answered = std::chrono::steady_clock::now();
        const double early = line(asked, loadEnd), late = line(answered, loadStart);
        const double low = std::min(early, late) - 1, high = std::max(early, late) + 1; // rounding, clock steps
        const int value = static_cast<signed char>(frame[SIM_OFF_DIGITAL_TEMP + std::min(std::max(num(1), 0), 13)]);
        return (value >= low && value <= high) || fail(name, "reads " + std::to_string(value) + " half degrees, not " +
                                                                 std::to_string(low) + ".." + std::to_string(high));
    }
    if (op == "answers") {
        FT_HANDLE h;
        if (!configured(num(0), h, name))
            return false;
        unsigned char req = SIM_REQUEST_STATUS, frame[SIM_FRAME_SIZE];
        FT_STATUS st;
        DWORD got = 0;
        const bool wrote = writeBytes(h, &req, 1, st);
        const FT_STATUS read = wrote ? ft.read(h, frame, SIM_FRAME_SIZE, &got) : 0;
        ft.close(h);
        if (!wrote)
            return fail(name, "FT_Write returned " + std::to_string(st));
        return (read == 0 && got == static_cast<DWORD>(num(1))) ||
               fail(name, "FT_Read returned " + std::to_string(read) + " with " + std::to_string(got) + " bytes");
    }
    if (op == "save") {
        unsigned char frame[SIM_FRAME_SIZE];
        if (!readFrame(num(0), frame, name))
            return false;
        FILE *f = std::fopen(a[1], "wb");
        if (!f)
            return fail(name, "cannot write the file");
        const bool ok = std::fwrite(frame, 1, SIM_FRAME_SIZE, f) == SIM_FRAME_SIZE;
        return (std::fclose(f) == 0 && ok) || fail(name, "cannot write the file");
    }
    if (op == "open") {
        FT_HANDLE h = nullptr;
        const FT_STATUS st = ft.open(num(0), &h);
        if (st == 0)
            ft.close(h);
        return st == static_cast<FT_STATUS>(num(1)) || fail(name, "FT_Open returned " + std::to_string(st));
    }
    if (op == "plug")
        return sim.plug(num(0)) == 0 || fail(name, "refused");
    if (op == "unplug")
        return sim.unplug(num(0)) == 0 || fail(name, "refused");
    if (op == "turn") {
        turn = CreateMutexA(nullptr, FALSE, kControllerLockName);
        const DWORD got = turn != nullptr ? WaitForSingleObject(turn, 10000) : WAIT_FAILED;
        return got == WAIT_OBJECT_0 || got == WAIT_ABANDONED || fail(name, "the lock did not come");
    }
    if (op == "hold") {
        if (held)
            return fail(name, "already holding a handle");
        return configured(num(0), held, name);
    }
    if (op == "held") {
        if (!held)
            return fail(name, "nothing held");
        unsigned char req = SIM_REQUEST_STATUS;
        FT_STATUS st;
        writeBytes(held, &req, 1, st);
        ft.close(held);
        held = nullptr;
        return st == static_cast<FT_STATUS>(num(0)) || fail(name, "FT_Write returned " + std::to_string(st));
    }
    if (op == "listed") {
        auto create = reinterpret_cast<FtCreateDeviceInfoListFn>(
            reinterpret_cast<void *>(GetProcAddress(dll, "FT_CreateDeviceInfoList")));
        auto get = reinterpret_cast<FtGetDeviceInfoListFn>(
            reinterpret_cast<void *>(GetProcAddress(dll, "FT_GetDeviceInfoList")));
        DWORD count = 0;
        FT_DEVICE_LIST_INFO_NODE nodes[SIM_MAX_DEVICES + 1] = {};
        if (!create || !get || create(&count) != 0 || get(nodes, &count) != 0)
            return fail(name, "no device list");
        if (num(0) < 0 || num(0) >= static_cast<int>(count))
            return fail(name, "only " + std::to_string(count) + " devices listed");
        const FT_DEVICE_LIST_INFO_NODE &node = nodes[num(0)];
        const std::string serial = node.SerialNumber[0] ? node.SerialNumber : "-";
        return (node.Flags == static_cast<DWORD>(num(1)) && serial == a[2]) ||
               fail(name, "flags " + std::to_string(node.Flags) + ", serial " + serial);
    }
    if (op == "signal" || op == "wait")
        return waitEvent(a[0], op == "signal", name);
    // sleep
    Sleep(static_cast<DWORD>(std::max(num(0), 0)));
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    loadStart = std::chrono::steady_clock::now();
    dll = LoadLibraryA("FTD2XX.dll");
    loadEnd = std::chrono::steady_clock::now();
    if (!dll || !sim.load(dll)) {
        std::fprintf(stderr, "simpeer: FTD2XX.dll or its control functions not found\n");
        return 1;
    }
    if (!ft.load(dll)) {
        std::fprintf(stderr, "simpeer: bridge operations missing\n");
        return 1;
    }
    int rc = 0;
    for (int i = 1; i < argc && rc == 0;)
        if (!step(argc, argv, i))
            rc = 1;
    if (held)
        ft.close(held);
    if (turn != nullptr) {
        ReleaseMutex(turn);
        CloseHandle(turn);
    }
    FreeLibrary(dll);
    return rc;
}
