// A chart of a reading log as an SVG document that any browser opens:
// temperatures in degrees Celsius against the left axis, fan duty in percent
// against the right one, over a time axis in UTC; a legend names each line.
// A row without a value (a failed reading, an empty cell) breaks the line:
// a gap, never a drop to 0. The plot area is the element with the id
// "plot-area"; each line is an element of the class "series" whose
// data-column names its column.
#pragma once

#include <string>

#include "host/chart/readingLog.h"

// `title` is UTF-8 (it is escaped here).
std::string svgChart(const ReadingLog &log, const std::string &title);
