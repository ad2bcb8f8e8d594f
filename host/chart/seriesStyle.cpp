#include "host/chart/seriesStyle.h"

#include <algorithm>
#include <optional>

#include "control/sensorName.h"
#include "core/statusFrame.h"
#include "host/chart/fanColour.h"
#include "host/output/logColumns.h"

namespace {

// Each fan's target in a paler shade of its colour (host/chart/fanColour.h),
// the colour of its duty line and of the sensors that drive it.
const char *const kTargetColor[kFanCount] = {"#f08cc4", "#8cb0ff", "#8cd8b0", "#ffa080"};

// A sensor that drives a fan is as bold as a duty; the others thin and pale.
constexpr double kDrivingWidth = 3, kSetBackWidth = 1, kSetBackOpacity = 0.3;

// Each column's line alone: temperatures thin, duties thick, the control
// command's targets dashed in a paler shade of their fan's colour.
SeriesStyle plainStyle(const std::string &column)
{
    static const char *const digital[] = {"#1f77b4", "#ff7f0e", "#2ca02c", "#d62728",
                                          "#9467bd", "#8c564b", "#e377c2", "#7f7f7f"};
    static const char *const analog[] = {"#bcbd22", "#17becf", "#393b79", "#637939", "#8c6d31", "#843c39"};
    if (const std::optional<int> sensor = sensorNumber(column)) {
        if (*sensor < kDigitalSensorCount)
            return {digital[*sensor], 2, nullptr, 1, {}};
        return {analog[*sensor - kDigitalSensorCount], 2, nullptr, 1, {}};
    }
    int fan = 0;
    FanColumn kind = FanColumn::Target;
    if (parseFanColumn(column, fan, kind) && kind == FanColumn::Duty)
        return {fanColour(fan), 3, nullptr, 1, {}};
    return {kTargetColor[fan], 2, "6 4", 1, {}};
}

// The fans that sensor `column` drives, each once, in the order `driven`
// names them.
std::vector<int> fansDrivenBy(const std::string &column, const std::vector<DrivenFan> &driven)
{
    std::vector<int> fans;
    for (const DrivenFan &fan : driven) {
        if (fan.fan < 0 || fan.fan >= kFanCount)
            continue;
        if (std::find(fan.sensors.begin(), fan.sensors.end(), column) != fan.sensors.end() &&
            std::find(fans.begin(), fans.end(), fan.fan) == fans.end())
            fans.push_back(fan.fan);
    }
    return fans;
}

} // namespace

SeriesStyle seriesStyle(const std::string &column, const std::vector<DrivenFan> &driven)
{
    SeriesStyle style = plainStyle(column);
    if (driven.empty() || !sensorNumber(column))
        return style;
    style.drives = fansDrivenBy(column, driven);
    if (!style.drives.empty()) {
        style.color = fanColour(style.drives.front());
        style.width = kDrivingWidth;
    } else {
        style.width = kSetBackWidth;
        style.opacity = kSetBackOpacity;
    }
    return style;
}
