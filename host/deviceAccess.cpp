#include "host/deviceAccess.h"

#include <cstdio>

#include "host/commandLine.h"
#include "host/deviceList.h"

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

bool DeviceAccess::write(FT_HANDLE handle, const void *bytes, DWORD count)
{
    DWORD written = 0;
    return write_(handle, const_cast<void *>(bytes), count, &written) == FT_OK && written == count;
}

void DeviceAccess::close(FT_HANDLE handle)
{
    close_(handle);
}

bool selectedDevice(const Invocation &invocation, bool numberArgument, HMODULE bridge, int &number)
{
    const bool bySerial = invocation.has("--serial");
    const bool byNumber = invocation.has("--device") || (numberArgument && !invocation.arguments.empty());
    if (bySerial == byNumber) {
        std::fprintf(stderr, "vornhost: %s needs a device number or --serial S (one of them)\n",
                     invocation.command->name);
        return false;
    }
    std::string error;
    if (bySerial) {
        if (findSerial(bridge, invocation.value("--serial"), number, error))
            return true;
        std::fprintf(stderr, "vornhost: %s\n", error.c_str());
        return false;
    }
    const std::string text = invocation.has("--device") ? invocation.value("--device") : invocation.arguments.front();
    long value = 0;
    if (!readNumber(text, value) || value < 0 || value > 0x7FFFFFFF) {
        std::fprintf(stderr, "vornhost: '%s' is no device number\n", text.c_str());
        return false;
    }
    number = static_cast<int>(value);
    return true;
}
