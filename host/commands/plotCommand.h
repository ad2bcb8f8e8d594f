// vornhost plot CSV [--out FILE.svg]: draws a CSV log of `watch --csv` (or
// `control --csv`) as an SVG chart (host/chart/svgChart.h) and says where
// it went. A file that cannot be read, has no "time" column or no rows is refused
// with a message and exit code 1.
#pragma once

#include <string>

struct PlotOptions {
    std::string csvPath;
    std::string svgPath; // empty: the CSV's name with .svg
};

// The plug-in's path goes unused: plotting loads no plug-in.
int runPlot(const std::string &pluginPath, const PlotOptions &options);
