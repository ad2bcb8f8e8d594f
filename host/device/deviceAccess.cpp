#include "host/device/deviceAccess.h"

#include <cstdio>

#include "host/device/deviceList.h"

DeviceAccess::~DeviceAccess()
{
    unloadPlugin(plugin_);
}

bool DeviceAccess::load(const std::string &pluginPath)
{
    std::string error;
    if (!loadPlugin(pluginPath.c_str(), plugin_, error)) {
        std::fprintf(stderr, "vornhost: %s\n", error.c_str());
        return false;
    }
    openConnection_ = asFunction<OpenConnectionFn>(resolveExport(plugin_.module, "openConnection", 8, error));
    if (openConnection_ != nullptr)
        readFromVorn_ = asFunction<ReadFromVornFn>(resolveExport(plugin_.module, "readFromVorn", 8, error));
    if (openConnection_ == nullptr || readFromVorn_ == nullptr) {
        std::fprintf(stderr, "vornhost: %s\n", error.c_str());
        return false;
    }
    // The bridge library the plug-in itself loaded; close and write are its
    // ordinals 2 and 4, as the plug-in binds them.
    bridge_ = GetModuleHandleA("FTD2XX.dll");
    if (bridge_ != nullptr) {
        close_ = asFunction<decltype(close_)>(GetProcAddress(bridge_, MAKEINTRESOURCEA(2)));
        write_ = asFunction<decltype(write_)>(GetProcAddress(bridge_, MAKEINTRESOURCEA(4)));
    }
    if (close_ == nullptr || write_ == nullptr) {
        std::fprintf(stderr, "vornhost: FTD2XX.dll lacks its close or write operation\n");
        return false;
    }
    return true;
}

const char *DeviceAccess::open(int deviceNumber, FT_HANDLE *handle)
{
    return openConnection_(deviceNumber, handle);
}

const char *DeviceAccess::readFrame(FT_HANDLE handle, uint8_t *frame)
{
    return readFromVorn_(handle, frame);
}

const char *DeviceAccess::exchangeStatus(const ControllerTurn &turn, int number, uint8_t *frame)
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

bool DeviceAccess::write(FT_HANDLE handle, const void *bytes, DWORD count)
{
    DWORD written = 0;
    return write_(handle, const_cast<void *>(bytes), count, &written) == FT_OK && written == count;
}

void DeviceAccess::close(FT_HANDLE handle)
{
    close_(handle);
}

const char *DeviceAccess::sendCommands(int number, const std::vector<FanCommandBytes> &commands, size_t &written)
{
    written = 0;
    FT_HANDLE handle = nullptr;
    const char *failure = open(number, &handle);
    if (failure != nullptr)
        return failure;
    while (written < commands.size() && write(handle, commands[written].data(), kFanCommandSize))
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
