#include "host/chart/drivenFans.h"

std::vector<DrivenFan> drivenFans(const ControlConfig &config)
{
    std::vector<DrivenFan> driven;
    for (const FanCurveConfig &fan : config.fans)
        driven.push_back({static_cast<int>(fan.fan), fan.sensors});
    return driven;
}
