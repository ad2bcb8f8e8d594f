// The fans a control configuration drives, each with the sensors whose
// hottest reading is its input, as the chart marks them.
#pragma once

#include <vector>

#include "control/controlConfig.h"
#include "host/chart/svgChart.h"

// One entry per fan of `config`, in the configuration's order. The
// configuration is taken as validated: each fan number is whole, 0-3.
std::vector<DrivenFan> drivenFans(const ControlConfig &config);
