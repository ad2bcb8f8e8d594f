#include "host/commands/listDevicesCommand.h"

#include <cstdio>
#include <vector>

#include "core/statusFrame.h"
#include "host/device/deviceAccess.h"
#include "host/device/deviceList.h"
#include "host/output/jsonOutput.h"

namespace {

struct Verdict {
    bool probed = false; // false: not asked (no --probe, or in use)
    bool controller = false;
    std::string failure; // why it is no controller: the plug-in's text
};

Verdict probe(DeviceAccess &access, const ListedDevice &device)
{
    Verdict verdict;
    if (device.inUse())
        return verdict;
    verdict.probed = true;
    uint8_t frame[kStatusFrameSize];
    ControllerTurn turn = access.turn();
    const char *failure = DeviceAccess::exchangeStatus(turn, device.number, frame);
    verdict.controller = failure == nullptr;
    verdict.failure = failure ? failure : "";
    return verdict;
}

void printJson(const std::vector<ListedDevice> &devices, const std::vector<Verdict> &verdicts, bool probed)
{
    JsonDocument list = JsonDocument::array();
    JsonDocument controllers = JsonDocument::array();
    for (size_t i = 0; i < devices.size(); ++i) {
        const ListedDevice &d = devices[i];
        const Verdict &v = verdicts[i];
        list.push_back({{"device", d.number},
                        {"serial", jsonText(d.serial)},
                        {"description", jsonText(d.description)},
                        {"location", d.location},
                        {"inUse", d.inUse()},
                        {"controller", v.probed ? JsonDocument(v.controller) : JsonDocument()},
                        {"probeError", v.probed && !v.controller ? jsonText(v.failure) : JsonDocument()}});
        if (v.controller)
            controllers.push_back({{"device", d.number}, {"serial", jsonText(d.serial)}});
    }
    printJsonLine({{"probed", probed}, {"devices", list}, {"controllers", controllers}});
}

void printTable(const std::vector<ListedDevice> &devices, const std::vector<Verdict> &verdicts, bool probed)
{
    if (devices.empty()) {
        std::printf("No FTDI device is connected.\n");
        return;
    }
    std::printf("%-7s %-16s %-32s %-9s %s\n", "Device", "Serial", "Description", "Location", "State");
    for (size_t i = 0; i < devices.size(); ++i) {
        const ListedDevice &d = devices[i];
        std::string state = d.inUse() ? "in use" : "free";
        if (verdicts[i].probed)
            state = verdicts[i].controller ? "controller" : "no controller (" + verdicts[i].failure + ")";
        else if (probed && d.inUse())
            state = "in use, not probed";
        char location[16];
        std::snprintf(location, sizeof location, "0x%lX", d.location);
        std::printf("%-7d %-16s %-32s %-9s %s\n", d.number, d.serial.empty() ? "-" : d.serial.c_str(),
                    d.description.empty() ? "-" : d.description.c_str(), d.location ? location : "-", state.c_str());
    }
    std::printf("\n");
    if (!probed) {
        std::printf(
            "vornhost list-devices --probe asks each free device for its status and picks out the "
            "controller.\n");
        return;
    }
    int found = 0;
    for (size_t i = 0; i < devices.size(); ++i) {
        if (verdicts[i].controller) {
            std::printf(
                "Controller found: device %d, serial %s. Enter %d as the USB Device ID in the "
                "plug-in's configuration.\n",
                devices[i].number, devices[i].serial.c_str(), devices[i].number);
            ++found;
        }
    }
    if (found == 0)
        std::printf(
            "No controller answered. A device in use may be the controller: close the program that "
            "uses it and try again.\n");
}

} // namespace

int runListDevices(const std::string & /*pluginPath*/, const ListDevicesOptions &options)
{
    const bool probed = options.probe;
    DeviceAccess access;
    HMODULE bridge = nullptr;
    if (probed) {
        // Probing makes the status exchange itself, with the bridge library.
        if (!access.load())
            return 1;
        bridge = access.bridge();
    } else {
        bridge = bridgeLibrary();
    }
    std::vector<ListedDevice> devices;
    std::string error;
    bool listed = false;
    {
        // Listed in a turn of our own, a device that a program taking turns
        // (a poller) uses shows as free, not in use.
        const ControllerTurn turn = access.turn();
        listed = listDevices(bridge, devices, error);
    }
    if (!listed) {
        std::fprintf(stderr, "vornhost: %s\n", error.c_str());
        return 1;
    }
    std::vector<Verdict> verdicts(devices.size());
    if (probed) {
        for (size_t i = 0; i < devices.size(); ++i)
            verdicts[i] = probe(access, devices[i]);
    }
    if (options.json)
        printJson(devices, verdicts, probed);
    else
        printTable(devices, verdicts, probed);
    return 0;
}
