// libFuzzer target for the CSV reader behind vornhost plot and the chart it
// draws: any bytes as a log's text; whatever reads must chart without a
// fault, and every row read has a time and a value (or a gap) per series.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "host/chart/readingLog.h"
#include "host/chart/svgChart.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string text(reinterpret_cast<const char *>(data), size);
    ReadingLog log;
    std::string error;
    if (!readReadingLogText(text, "fuzz.csv", log, error))
        return 0;
    for (const LoggedSeries &series : log.series) {
        if (series.values.size() != log.timeMs.size())
            std::abort();
    }
    const std::string svg = svgChart(log, "fuzz");
    if (svg.find("nan") != std::string::npos || svg.find("inf") != std::string::npos)
        std::abort();
    return 0;
}
