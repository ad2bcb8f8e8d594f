#include "host/service/dailyLogs.h"

#include <cctype>

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

// Whether `text` starts with the prefix, in any case, as the file system
// matches dailyLogPattern().
bool startsWithPrefix(const std::string &text)
{
    const std::string prefix = kLogPrefix;
    if (text.size() < prefix.size())
        return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i])
            return false;
    return true;
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
    if (!startsWithPrefix(fileName))
        return false;
    const long long today = dayOf(isoTime);
    const long long day = dayOf(fileName.substr(sizeof kLogPrefix - 1));
    return today >= 0 && day >= 0 && today - day >= keepDays;
}
