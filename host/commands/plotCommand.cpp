#include "host/commands/plotCommand.h"

#include <cstdio>

#include "host/chart/chartText.h"
#include "host/chart/drivenFans.h"
#include "host/chart/svgChart.h"
#include "host/fans/controlConfigLoad.h"

int runPlot(const std::string &, const PlotOptions &options)
{
    std::vector<DrivenFan> driven;
    if (!options.configPath.empty()) {
        ControlConfig config;
        if (!loadControlConfig(options.configPath, config))
            return 2;
        driven = drivenFans(config);
    }
    ReadingLog log;
    std::string error;
    if (!readReadingLog(options.csvPath, log, error)) {
        std::fprintf(stderr, "vornhost: %s\n", error.c_str());
        return 1;
    }
    for (const std::string &reason : log.skipped)
        std::fprintf(stderr, "vornhost: %s: left out %s\n", options.csvPath.c_str(), reason.c_str());
    if (log.timeMs.empty()) {
        std::fprintf(stderr, "vornhost: %s holds no readings\n", options.csvPath.c_str());
        return 1;
    }
    const std::string svgPath = options.svgPath.empty() ? svgPathFor(options.csvPath) : options.svgPath;
    const std::string svg = svgChart(log, chartTitle(options.csvPath, log), driven);
    FILE *out = std::fopen(svgPath.c_str(), "wb");
    bool written = out != nullptr && std::fwrite(svg.data(), 1, svg.size(), out) == svg.size();
    if (out != nullptr)
        written = std::fclose(out) == 0 && written;
    if (!written) {
        std::fprintf(stderr, "vornhost: cannot write %s\n", svgPath.c_str());
        return 1;
    }
    std::printf("Wrote %s: %s, %s.\n", svgPath.c_str(), logSpanText(log).c_str(), logCountText(log).c_str());
    return 0;
}
