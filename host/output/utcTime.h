// The times of vornhost's output and logs: UTC in ISO 8601 with
// milliseconds, "2026-12-08T06:39:40.031Z", taken now, read back and written
// as the labels of a chart, through Howard Hinnant's date library.
#pragma once

#include <string>

// Milliseconds since 1970-01-01 00:00 UTC. False for anything but a
// complete time with a "Z" (the fraction of a second may be left out).
bool parseUtcTime(const std::string &text, long long &ms);

// "06:39:40", "06:39" (withSeconds false), "2026-12-08": the time of day or
// the date of a time in milliseconds since 1970.
std::string clockText(long long ms, bool withSeconds);
std::string dateText(long long ms);

// A time in milliseconds since 1970 as "2026-03-01T12:00:00.250Z".
std::string utcTimeText(long long ms);

// The time now, as utcTimeText writes it.
std::string timestampNow();
