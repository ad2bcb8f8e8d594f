// A chart of a reading log as an SVG document that any browser opens:
// temperatures in degrees Celsius against the left axis, fan duty in percent
// against the right one, over a time axis in UTC; a legend names each line.
// A row without a value (a failed reading, an empty cell) breaks the line:
// a gap, never a drop to 0. The plot area is the element with the id
// "plot-area"; each line is an element of the class "series" whose
// data-column names its column. When the chart marks the fans' inputs, a
// sensor's line that drives fans is bold, in the first fan's colour, of the
// class "drives" too, with the fans in data-fans ("0 2"), and its legend
// entry names them ("digital0 °C → fans 0, 2"); every other sensor is set
// back, thin and pale. The canvas widens as far as such an entry needs.
#pragma once

#include <string>
#include <vector>

#include "host/chart/readingLog.h"

// A fan the control configuration drives, and the sensors whose hottest
// reading is its input ("digital0".."analog5").
struct DrivenFan {
    int fan = 0;
    std::vector<std::string> sensors;
};

// `title` is UTF-8 (it is escaped here). `driven`: the fans and the sensors
// that drive them, marked in the chart; empty draws every sensor alike.
std::string svgChart(const ReadingLog &log, const std::string &title, const std::vector<DrivenFan> &driven = {});
