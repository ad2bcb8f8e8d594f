#include "host/device/controllerTurn.h"

#include "host/device/deviceList.h"

ControllerTurn::ControllerTurn(DeviceAccess &access, const DeviceChoice &device, const char *unnamed, DWORD boundMs,
                               HANDLE cancel)
    : access_(access)
{
    if (!device.number && !device.serial) {
        failure_ = unnamed;
        return;
    }
    turn_.emplace(boundMs, cancel);
    if (!turn_->taken()) {
        failure_ = kControllerBusy;
        return;
    }
    int number = device.number.value_or(0);
    if (device.serial && !findSerial(access.bridge(), *device.serial, number, failure_))
        return;
    FT_HANDLE handle = nullptr;
    if (const char *failure = access.open(number, &handle))
        failure_ = failure;
    else
        handle_ = handle;
}

ControllerTurn::~ControllerTurn()
{
    if (handle_ != nullptr)
        access_.close(handle_);
}

const char *ControllerTurn::readFrame(uint8_t *frame)
{
    return access_.readFrame(handle_, frame);
}

const char *ControllerTurn::send(int fan, int percent)
{
    FanCommandBytes command;
    const std::string fanText = std::to_string(fan), percentText = std::to_string(percent);
    if (const char *invalid = encodeFanCommand(fanText.c_str(), percentText.c_str(), command.data()))
        return invalid;
    return access_.write(handle_, command);
}
