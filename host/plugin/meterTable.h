// What the host shows: the plug-in's identity and its meter readings.
#pragma once

#include <cstdio>
#include <vector>

#include "host/plugin/pluginLoader.h"

void printIdentity(FILE *out, const Plugin &plugin, const std::vector<MeterInfo> &meters);

// Every meter over its whole index range. GetValue-style meters with many
// indexes are printed in rows of 15.
void printMeterTable(FILE *out, const std::vector<MeterInfo> &meters);

// One meter reading as the host would show it.
const char *readMeterText(const MeterInfo &meter, int index, char buffer[64]);
