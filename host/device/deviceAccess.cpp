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

const char *DeviceAccess::open(int deviceNumber, FT_HANDLE *handle)
{
    return openBridgeDevice(operations_, deviceNumber, handle);
}

const char *DeviceAccess::readFrame(FT_HANDLE handle, uint8_t *frame)
{
    return exchangeStatusFrame(operations_, handle, frame);
}

const char *DeviceAccess::exchangeStatus(const LockTurn &turn, int number, uint8_t *frame)
{
    if (!turn.taken())
        return kControllerBusy;
    FT_HANDLE handle = nullptr;
    const char *failure = open(number, &handle);
    if (failure == nullptr) {
        failure = readFrame(handle, frame);
        close(handle);
    }
    return failure;
}

const char *DeviceAccess::write(FT_HANDLE handle, const FanCommandBytes &command)
{
    return writeFanCommand(operations_, handle, command.data());
}

void DeviceAccess::close(FT_HANDLE handle)
{
    operations_.close(handle);
}

const char *DeviceAccess::sendCommands(int number, const std::vector<FanCommandBytes> &commands, size_t &written)
{
    written = 0;
    FT_HANDLE handle = nullptr;
    const char *failure = open(number, &handle);
    if (failure != nullptr)
        return failure;
    while (written < commands.size() && write(handle, commands[written]) == nullptr)
        ++written;
    close(handle);
    return written == commands.size() ? nullptr : kFanCommandNotSent;
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
