// A reading in vornhost's JSON output (README.md, "Machine-readable output").
#pragma once

#include "host/output/jsonOutput.h"
#include "host/output/reading.h"

// Adds the reading's members to a JSON object: "error" (null or the text)
// and, without an error, "digitalTemp", "analogTemp" and "fans".
void addReadingJson(JsonDocument &object, const Reading &reading);
