// The service's daily logs at the edge of the days it keeps: the logs of
// those days, today's included, stay; the day before the first goes; a name
// that tells no date, or is not a daily log's, is never removed.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/service/dailyLogs.h"

namespace {

const char kNow[] = "2026-12-08T06:39:40.031Z";

// The names among `names` that a prune at kNow keeping `keepDays` days
// removes.
std::vector<std::string> removed(const std::vector<std::string> &names, int keepDays)
{
    std::vector<std::string> gone;
    for (const std::string &name : names)
        if (dailyLogExpired(name, kNow, keepDays))
            gone.push_back(name);
    return gone;
}

TEST(DailyLogs, NamedAfterTheDayOfTheirTime)
{
    EXPECT_EQ(dailyLogName(kNow), "control-2026-12-08.csv");
    EXPECT_EQ(dailyLogPattern(), "control-*.csv");
}

TEST(DailyLogs, KeepsTheLastKeepDaysTodayIncluded)
{
    const std::vector<std::string> logs = {"control-2026-12-09.csv", "control-2026-12-08.csv", "control-2026-12-02.csv",
                                           "control-2026-12-01.csv", "control-2026-11-30.csv"};
    EXPECT_EQ(removed(logs, 7), (std::vector<std::string>{"control-2026-12-01.csv", "control-2026-11-30.csv"}));
    EXPECT_EQ(removed(logs, 1),
              (std::vector<std::string>{"control-2026-12-02.csv", "control-2026-12-01.csv", "control-2026-11-30.csv"}));
    EXPECT_EQ(removed(logs, 366), std::vector<std::string>{});
    // The log folder's search matches names in any case.
    EXPECT_TRUE(dailyLogExpired("CONTROL-2026-12-01.CSV", kNow, 7));
}

TEST(DailyLogs, CountsDaysAcrossMonthsYearsAndLeapDays)
{
    EXPECT_FALSE(dailyLogExpired("control-2024-02-29.csv", "2024-03-01T00:00:00Z", 2));
    EXPECT_TRUE(dailyLogExpired("control-2024-02-28.csv", "2024-03-01T00:00:00Z", 2));
    EXPECT_FALSE(dailyLogExpired("control-2025-12-31.csv", "2026-01-01T23:59:59Z", 2));
    EXPECT_TRUE(dailyLogExpired("control-2025-12-31.csv", "2026-01-01T23:59:59Z", 1));
    EXPECT_FALSE(dailyLogExpired("control-2025-12-08.csv", "2026-12-08T00:00:00Z", 366));
    EXPECT_TRUE(dailyLogExpired("control-2025-12-07.csv", "2026-12-08T00:00:00Z", 366));
}

TEST(DailyLogs, LeavesWhatTellsNoDate)
{
    for (const char *name : {"control-.csv", "control-2026-13-01.csv", "control-someday.csv", "control-2026-1-1.csv",
                             "other-2020-01-01.csv", "2020-01-01.csv", ""})
        EXPECT_FALSE(dailyLogExpired(name, kNow, 1)) << name;
    EXPECT_FALSE(dailyLogExpired("control-2020-01-01.csv", "not a time", 1));
}

} // namespace
