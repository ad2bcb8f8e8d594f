#include "controller/controllerTurn.h"

#include "core/fanCommand.h"

ControllerTurn::ControllerTurn(const BridgeOperations &bridge, bool won, LetGo letGo)
    : bridge_(bridge), won_(won), holding_(won), letGo_(letGo)
{
}

ControllerTurn::~ControllerTurn()
{
    finish();
}

void ControllerTurn::closeDevice()
{
    // Cleared before the close: whoever looks at the slot meanwhile (the
    // unload, at a cycle cut off inside the close) never closes it again.
    FT_HANDLE handle = *slot_;
    *slot_ = nullptr;
    if (handle != nullptr)
        bridge_.close(handle);
}

void ControllerTurn::finish()
{
    closeDevice();
    if (holding_ && letGo_ != nullptr)
        letGo_();
    holding_ = false;
}

const char *ControllerTurn::openDevice(int number, FT_HANDLE *slot)
{
    if (!holding_ || open())
        return kOpenFailed;
    if (slot != nullptr)
        slot_ = slot;
    const char *failure = openBridgeDevice(bridge_, number, slot_);
    // A refusing library may leave anything there.
    if (failure != nullptr)
        *slot_ = nullptr;
    return failure;
}

const char *ControllerTurn::exchangeStatus(uint8_t *frame)
{
    return exchangeStatusFrame(bridge_, *slot_, frame);
}

const char *ControllerTurn::send(const uint8_t command[kFanCommandSize])
{
    return writeFanCommand(bridge_, *slot_, command);
}

const char *ControllerTurn::send(int fan, int percent)
{
    uint8_t command[kFanCommandSize];
    if (const char *invalid = encodeFanDuty(fan, percent, command))
        return invalid;
    return send(command);
}
