#include "host/service/dailyLogs.h"

#include "host/output/utcTime.h"

namespace {

const char kLogPrefix[] = "control-";
const char kLogSuffix[] = ".csv";
constexpr size_t kDateLength = 10; // "2026-12-08"

// The day number (since 1970) of a "2026-12-08" at the start of `text`, or
// -1.
long long dayOf(const std::string &text)
{
    long long ms = 0;
    if (text.size() < kDateLength || !parseUtcTime(text.substr(0, kDateLength) + "T00:00:00Z", ms))
        return -1;
    return ms / 86400000;
}

} // namespace

std::string dailyLogName(const std::string &isoTime)
{
    return kLogPrefix + isoTime.substr(0, kDateLength) + kLogSuffix;
}

std::string dailyLogPattern()
{
    return std::string(kLogPrefix) + "*" + kLogSuffix;
}

bool dailyLogExpired(const std::string &fileName, const std::string &isoTime, int keepDays)
{
    const std::string prefix = kLogPrefix;
    if (fileName.compare(0, prefix.size(), prefix) != 0)
        return false;
    const long long today = dayOf(isoTime);
    const long long day = dayOf(fileName.substr(prefix.size()));
    return today >= 0 && day >= 0 && today - day >= keepDays;
}
