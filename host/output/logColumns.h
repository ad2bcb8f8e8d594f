// The columns of vornhost's CSV logs, named here once: `watch --csv` and
// `control --csv` write them, `vornhost plot` reads them back and draws
// them. The temperatures' columns are the sensors' names
// (control/sensorName.h): "digital0" to "analog5".
#pragma once

#include <string>

constexpr char kTimeColumn[] = "time";   // UTC, ISO 8601: the first column
constexpr char kErrorColumn[] = "error"; // why the reading failed: the last

// What a fan's column holds, as its name says after "fanN_".
enum class FanColumn {
    Duty,   // the duty in the controller's frame, %
    Rpm,    // the speed
    MaxRpm, // the speed at 100 %
    Manual, // the frame's manual-mode byte
    Target, // the duty control decided, %
    Sent,   // the duty control sent, or empty
    Reason  // why control decided so
};

// "fan2_duty", "fan0_max_rpm", ...
std::string fanColumn(int fan, FanColumn kind);

// The fan and the kind of a fan's column, as fanColumn names them; false for
// any other text.
bool parseFanColumn(const std::string &column, int &fan, FanColumn &kind);
