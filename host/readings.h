// One reading of the controller as vornhost reports it in JSON and CSV: the
// eight digital and six analog temperatures and the four fans, or the failure
// text the plug-in returned in their place. Filled from the plug-in's meters
// (what the desktop host shows) or from a status frame (read-device).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/statusFrame.h"
#include "host/jsonOutput.h"
#include "host/pluginLoader.h"

struct Reading {
    std::string error; // the plug-in's failure text; empty when the values hold
    double digitalCelsius[kDigitalSensorCount] = {};
    double analogCelsius[kAnalogSensorCount] = {};
    int dutyPercent[kFanCount] = {};
    int rpm[kFanCount] = {};
    int maxRpm[kFanCount] = {};
    int manual[kFanCount] = {};
};

// Reads every value through the meters. The first meter that answers with a
// text of its own (the pending error) ends it: that text goes into error.
// False when the plug-in lacks one of the meters.
bool readingFromMeters(const std::vector<MeterInfo> &meters, Reading &out);

// Decodes a complete status frame the way the meters do.
void readingFromFrame(const uint8_t *frame, Reading &out);

// Adds the reading's members to a JSON object: "error" (null or the text)
// and, without an error, "digitalTemp", "analogTemp" and "fans".
void addReadingJson(JsonDocument &object, const Reading &reading);

// The CSV log: the header line, and one row per reading (both without the
// line end). The time is the row's first column, the error text its last.
std::string csvHeader();
std::string csvRow(const std::string &time, const Reading &reading);
// The temperatures' part of both, for logs of other columns (control --csv):
// ",digital0,...,analog5", and the reading's cells for them, each after a
// comma, all empty when it failed.
std::string csvTemperatureHeader();
std::string csvTemperatureCells(const Reading &reading);
// A text as one CSV field: in double quotes when it holds a comma, a quote
// or a line end.
std::string csvField(const std::string &text);

// The time now, UTC, as ISO 8601 with milliseconds: "2026-03-01T12:00:00.250Z".
std::string timestampNow();
