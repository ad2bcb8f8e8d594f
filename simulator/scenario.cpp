#include "simulator/scenario.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>
#include <string>

namespace vornsim {

namespace {

const char *const kSensorNames[SIM_TEMPS] = {"digital0", "digital1", "digital2", "digital3", "digital4",
                                             "digital5", "digital6", "digital7", "analog0",  "analog1",
                                             "analog2",  "analog3",  "analog4",  "analog5"};

// One "SENSOR:FROM:TO:SECONDS" into its sensor's slot; false when malformed.
bool readRamp(const std::string &item, Ramp ramps[SIM_TEMPS])
{
    char name[16];
    double from, to, seconds;
    int used = -1;
    if (std::sscanf(item.c_str(), "%15[a-z0-9]:%lf:%lf:%lf%n", name, &from, &to, &seconds, &used) != 4 ||
        used != static_cast<int>(item.size()))
        return false;
    const int sensor =
        static_cast<int>(std::find(kSensorNames, kSensorNames + SIM_TEMPS, std::string(name)) - kSensorNames);
    if (sensor == SIM_TEMPS || !std::isfinite(from) || !std::isfinite(to) || !std::isfinite(seconds) || seconds < 0)
        return false;
    ramps[sensor] = Ramp{1, static_cast<float>(from), static_cast<float>(to), static_cast<float>(seconds)};
    return true;
}

bool readSeconds(const std::string &text, float &seconds)
{
    double value;
    int used = -1;
    if (std::sscanf(text.c_str(), "%lf%n", &value, &used) != 1 || used != static_cast<int>(text.size()) ||
        !std::isfinite(value) || value < 0)
        return false;
    seconds = static_cast<float>(value);
    return true;
}

// The simulator must never stop a host: a bad value is only reported.
void ignored(const char *variable, const std::string &value, const char *form)
{
    std::fprintf(stderr, "FTD2XX.dll (simulator): %s=%s is malformed, ignored (expected %s)\n", variable, value.c_str(),
                 form);
    std::fflush(stderr);
}

} // namespace

void Scenario::read(const std::string &rampList, const std::string &silence)
{
    bool ok = rampList.empty() || rampList.back() != ','; // no empty last ramp
    std::istringstream items(rampList);
    for (std::string item; ok && std::getline(items, item, ',');)
        ok = readRamp(item, ramps);
    if (!ok) {
        std::fill(ramps, ramps + SIM_TEMPS, Ramp{});
        ignored("VORNSIM_RAMP", rampList, "SENSOR:FROM:TO:SECONDS,... with SENSOR digital0-7 or analog0-5");
    }
    if (!silence.empty() && !readSeconds(silence, silentAfter))
        ignored("VORNSIM_SILENT_AFTER", silence, "SECONDS");
}

bool Scenario::rampAt(int sensor, double seconds, int &halfDegrees) const
{
    const Ramp &r = ramps[sensor];
    if (!r.active)
        return false;
    const double share = r.seconds > 0 ? std::min(std::max(seconds / r.seconds, 0.0), 1.0) : 1.0;
    const long half = std::lround(2.0 * (r.from + (r.to - r.from) * share));
    halfDegrees = static_cast<int>(std::min(std::max(half, -128L), 127L)); // the byte saturates
    return true;
}

} // namespace vornsim
