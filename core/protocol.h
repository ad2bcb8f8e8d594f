// The controller's wire (docs/protocol.md): its line speed, the two commands
// and the sizes of what crosses. The plug-in, vornhost and the simulated
// controller all take them from here.
#pragma once

#include <cstdint>

constexpr unsigned long kBaudRate = 19200;

// The status request: one byte ("6"), answered by the status frame.
constexpr uint8_t kStatusRequest = 0x36;
constexpr int kStatusFrameSize = 285;

// The set-duty command: kSetDutyCommand + fan, then the duty in whole percent.
constexpr uint8_t kSetDutyCommand = 0x11;
constexpr int kFanCommandSize = 2;
