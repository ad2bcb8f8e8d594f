// One reading of the controller as vornhost reports it: the eight digital and
// six analog temperatures and the four fans, or the failure text the plug-in
// returned in their place. Filled from the plug-in's meters (what the desktop
// host shows: host/plugin/meterReading.h) or from a status frame
// (read-device), and written as a table, JSON or CSV (the files beside this).
#pragma once

#include <cstdint>
#include <string>

#include "core/statusFrame.h"

struct Reading {
    std::string error; // the plug-in's failure text; empty when the values hold
    double digitalCelsius[kDigitalSensorCount] = {};
    double analogCelsius[kAnalogSensorCount] = {};
    int dutyPercent[kFanCount] = {};
    int rpm[kFanCount] = {};
    int maxRpm[kFanCount] = {};
    int manual[kFanCount] = {};
};

// Decodes a complete status frame the way the meters do.
void readingFromFrame(const uint8_t *frame, Reading &out);
