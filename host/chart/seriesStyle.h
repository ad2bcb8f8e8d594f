// How the chart draws each column of a log: its colour, width and dashes.
// When the chart marks the fans' inputs, a sensor that drives a fan is drawn
// boldly in that fan's colour and every other sensor set back, thin and
// pale, so that what each fan follows stands out; duties and targets keep
// their own style either way.
#pragma once

#include <string>
#include <vector>

#include "host/chart/svgChart.h"

struct SeriesStyle {
    const char *color;
    double width;
    const char *dash;        // null: solid
    double opacity = 1;      // below 1: a sensor set back behind those that drive a fan
    std::vector<int> drives; // the fans a sensor drives, in the order `driven` names them
};

// The style of `column` ("digital0", "fan1_duty", ...). With `driven` empty
// every sensor is drawn alike; a sensor that drives several fans takes the
// first one's colour, and fan numbers the controller does not have are
// passed over.
SeriesStyle seriesStyle(const std::string &column, const std::vector<DrivenFan> &driven);
