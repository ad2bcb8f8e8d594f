#include "host/device/deviceAccess.h"

#include <cstdio>

#include "host/device/bridgeOperations.h"
#include "host/device/deviceList.h"

bool DeviceAccess::load(BridgeSearch search)
{
    bridge_ = bridgeLibrary(search);
    if (bridge_ == nullptr) {
        std::fprintf(stderr, "vornhost: FTD2XX.dll not found%s: install the FTDI D2XX driver\n",
                     search == BridgeSearch::SystemFolderOnly ? " in the system folder" : "");
        return false;
    }
    if (!bridgeOperationsOf(bridge_, operations_)) {
        std::fprintf(stderr, "vornhost: FTD2XX.dll lacks one of the seven bridge operations\n");
        return false;
    }
    return true;
}

ControllerTurn DeviceAccess::turn(DWORD boundMs, HANDLE cancel) const
{
    return ControllerTurn(operations_, takeProcessTurn(boundMs, cancel), endProcessTurn);
}

ControllerTurn DeviceAccess::noTurn() const
{
    return ControllerTurn(operations_, false, nullptr);
}

ControllerTurn DeviceAccess::turnFor(const DeviceChoice &device, DWORD boundMs, HANDLE cancel) const
{
    return device.number || device.serial ? turn(boundMs, cancel) : noTurn();
}

std::string DeviceAccess::openChosen(ControllerTurn &turn, const DeviceChoice &device, const char *unnamed) const
{
    if (!device.number && !device.serial)
        return unnamed;
    if (!turn.taken())
        return kControllerBusy;
    int number = device.number.value_or(0);
    std::string failure;
    if (device.serial && !findSerial(bridge_, *device.serial, number, failure))
        return failure;
    if (const char *refused = turn.openDevice(number))
        return refused;
    return "";
}

const char *DeviceAccess::exchangeStatus(ControllerTurn &turn, int number, uint8_t *frame)
{
    if (!turn.taken())
        return kControllerBusy;
    const char *failure = turn.openDevice(number);
    if (failure == nullptr)
        failure = turn.exchangeStatus(frame);
    turn.closeDevice();
    return failure;
}

bool selectedDevice(const DeviceChoice &choice, HMODULE bridge, int &number)
{
    if (choice.serial.has_value() == choice.number.has_value()) {
        std::fprintf(stderr, "vornhost: %s needs a device number or --serial S (one of them)\n",
                     choice.command.c_str());
        return false;
    }
    std::string error;
    if (choice.serial) {
        if (findSerial(bridge, *choice.serial, number, error))
            return true;
        std::fprintf(stderr, "vornhost: %s\n", error.c_str());
        return false;
    }
    number = *choice.number;
    return true;
}
