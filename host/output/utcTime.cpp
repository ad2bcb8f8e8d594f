#include "host/output/utcTime.h"

#include <date/date.h>

#include <cctype>
#include <chrono>

namespace {

using Milliseconds = date::sys_time<std::chrono::milliseconds>;

Milliseconds fromEpochMs(long long ms)
{
    return Milliseconds(std::chrono::milliseconds(ms));
}

// The number in text[at, at + digits), or -1 when any of them is no digit.
int digitsAt(const std::string &text, size_t at, size_t digits)
{
    if (at + digits > text.size())
        return -1;
    int value = 0;
    for (size_t i = at; i < at + digits; ++i) {
        if (!std::isdigit(static_cast<unsigned char>(text[i])))
            return -1;
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

} // namespace

// Read by hand, field by field: the date library's parser, given a text that
// fails early, converts seconds it never read (not a number) to an integer,
// which is undefined (found by fuzzing the CSV reader).
bool parseUtcTime(const std::string &text, long long &ms)
{
    // "YYYY-MM-DDTHH:MM:SS", then ".f", ".ff" or ".fff", then "Z".
    const int year = digitsAt(text, 0, 4), month = digitsAt(text, 5, 2), day = digitsAt(text, 8, 2);
    const int hour = digitsAt(text, 11, 2), minute = digitsAt(text, 14, 2), second = digitsAt(text, 17, 2);
    if (text.size() < 20 || text[4] != '-' || text[7] != '-' || text[10] != 'T' || text[13] != ':' || text[16] != ':' ||
        year < 0 || month < 0 || day < 0 || hour < 0 || minute < 0 || second < 0 || text.back() != 'Z')
        return false;
    int fraction = 0;
    const size_t fractionDigits = text.size() - 20 == 0 ? 0 : text.size() - 21;
    if (fractionDigits > 0) {
        if (text[19] != '.' || fractionDigits > 3 || (fraction = digitsAt(text, 20, fractionDigits)) < 0)
            return false;
        for (size_t i = fractionDigits; i < 3; ++i)
            fraction *= 10;
    } else if (text.size() != 20) {
        return false;
    }
    const date::year_month_day date{date::year(year), date::month(static_cast<unsigned>(month)),
                                    date::day(static_cast<unsigned>(day))};
    if (!date.ok() || hour > 23 || minute > 59 || second > 59)
        return false;
    const auto midnight = date::sys_days(date);
    ms = std::chrono::duration_cast<std::chrono::milliseconds>(midnight.time_since_epoch()).count() +
         ((hour * 60LL + minute) * 60 + second) * 1000 + fraction;
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

std::string utcTimeText(long long ms)
{
    return date::format("%FT%TZ", fromEpochMs(ms));
}

std::string timestampNow()
{
    return date::format("%FT%TZ", date::floor<std::chrono::milliseconds>(std::chrono::system_clock::now()));
}
