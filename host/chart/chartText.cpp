#include "host/chart/chartText.h"

#include <cctype>

#include "host/output/latin1Text.h"
#include "host/output/utcTime.h"

namespace {

std::string fileName(const std::string &path)
{
    const size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

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

std::string logSpanText(const ReadingLog &log)
{
    const long long first = log.timeMs.front(), last = log.timeMs.back();
    return dateText(first) + " " + clockText(first, true) + " to " +
           (dateText(last) == dateText(first) ? "" : dateText(last) + " ") + clockText(last, true) + " UTC";
}

std::string logCountText(const ReadingLog &log)
{
    return std::to_string(log.timeMs.size()) + " readings, " + std::to_string(log.failedRows) + " failed";
}

std::string chartTitle(const std::string &csvPath, const ReadingLog &log)
{
    return latin1ToUtf8(fileName(csvPath)) + ": " + logSpanText(log) + ", " + logCountText(log);
}
