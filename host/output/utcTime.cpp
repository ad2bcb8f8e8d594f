#include "host/output/utcTime.h"

// date.h's parser leaves a long double for the seconds unset on paths where
// it then reports a failure; GCC cannot see that and warns where it inlines.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

#include <date/date.h>
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <sstream>

namespace {

using Milliseconds = date::sys_time<std::chrono::milliseconds>;

Milliseconds fromEpochMs(long long ms)
{
    return Milliseconds(std::chrono::milliseconds(ms));
}

} // namespace

bool parseUtcTime(const std::string &text, long long &ms)
{
    std::istringstream in(text);
    Milliseconds time;
    in >> date::parse("%FT%TZ", time);
    if (in.fail() || in.peek() != std::char_traits<char>::eof())
        return false;
    ms = time.time_since_epoch().count();
    return true;
}

std::string clockText(long long ms, bool withSeconds)
{
    const auto seconds = date::floor<std::chrono::seconds>(fromEpochMs(ms));
    return date::format(withSeconds ? "%H:%M:%S" : "%H:%M", seconds);
}

std::string dateText(long long ms)
{
    return date::format("%F", date::floor<date::days>(fromEpochMs(ms)));
}

std::string timestampNow()
{
    SYSTEMTIME t;
    GetSystemTime(&t);
    char text[32];
    std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02u.%03uZ", t.wYear, t.wMonth, t.wDay, t.wHour,
                  t.wMinute, t.wSecond, t.wMilliseconds);
    return text;
}
