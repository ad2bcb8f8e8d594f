#include "host/commands/plotCommand.h"

#include <cctype>
#include <cstdio>

#include "host/output/latin1Text.h"
#include "host/output/readingLog.h"
#include "host/output/svgChart.h"
#include "host/output/utcTime.h"

namespace {

std::string fileName(const std::string &path)
{
    const size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// "log.csv" -> "log.svg" (".CSV" too); a name without ".csv" gets ".svg" added.
std::string svgPathFor(const std::string &csvPath)
{
    const std::string name = fileName(csvPath);
    if (name.size() > 4) {
        std::string extension = name.substr(name.size() - 4);
        for (char &c : extension)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (extension == ".csv")
            return csvPath.substr(0, csvPath.size() - 4) + ".svg";
    }
    return csvPath + ".svg";
}

} // namespace

int runPlot(const std::string &, const PlotOptions &options)
{
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
    const long long first = log.timeMs.front(), last = log.timeMs.back();
    const std::string span = dateText(first) + " " + clockText(first, true) + " to " +
                             (dateText(last) == dateText(first) ? "" : dateText(last) + " ") + clockText(last, true) +
                             " UTC";
    const std::string readings =
        std::to_string(log.timeMs.size()) + " readings, " + std::to_string(log.failedRows) + " failed";
    const std::string title = latin1ToUtf8(fileName(options.csvPath)) + ": " + span + ", " + readings;

    const std::string svgPath = options.svgPath.empty() ? svgPathFor(options.csvPath) : options.svgPath;
    const std::string svg = svgChart(log, title);
    FILE *out = std::fopen(svgPath.c_str(), "wb");
    bool written = out != nullptr && std::fwrite(svg.data(), 1, svg.size(), out) == svg.size();
    if (out != nullptr)
        written = std::fclose(out) == 0 && written;
    if (!written) {
        std::fprintf(stderr, "vornhost: cannot write %s\n", svgPath.c_str());
        return 1;
    }
    std::printf("Wrote %s: %s, %s.\n", svgPath.c_str(), span.c_str(), readings.c_str());
    return 0;
}
