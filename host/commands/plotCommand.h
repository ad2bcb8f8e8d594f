// vornhost plot CSV [--out FILE.svg] [--config FILE.json]: draws a CSV log
// of `watch --csv` (or `control --csv`) as an SVG chart
// (host/chart/svgChart.h) and says where it went. With --config, the sensors
// that drive each fan of that control configuration are marked; a
// configuration `control` would refuse is refused the same way, with exit
// code 2, before anything is drawn. A file that cannot be read, has no
// "time" column or no rows is refused with a message and exit code 1.
#pragma once

#include <string>

struct PlotOptions {
    std::string csvPath;
    std::string svgPath;    // empty: the CSV's name with .svg
    std::string configPath; // empty: no fan's inputs marked
};

// The plug-in's path goes unused: plotting loads no plug-in.
int runPlot(const std::string &pluginPath, const PlotOptions &options);
