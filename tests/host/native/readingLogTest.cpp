// The CSV reader behind vornhost plot at the edges of the format: quoted
// fields across lines, rows it leaves out and says why, files it refuses.
// The chart of what it reads must hold no "nan" or "inf" anywhere.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>

#include "host/chart/readingLog.h"
#include "host/chart/svgChart.h"
#include "host/output/utcTime.h"
#include "readingLogSupport.h"

TEST(ReadingLog, ReadsQuotedFieldsAcrossLinesAndLeavesOutWhatItCannotRead)
{
    const ReadingLog log = readLogText(
        "time,digital0,fan1_duty,error\r\n"
        "2026-12-08T06:59:40.031Z,30.5,40,\r\n"
        "2026-12-08T06:59:41Z,,,\"FT_Read: \"\"no\"\",\r\nreply\"\r\n"
        "yesterday,31,40,\r\n"
        "2026-12-08T06:59:43.031Z,x,50\r\n"
        "2026-12-08T06:59:44.031Z,32.5,");
    ASSERT_EQ(log.timeMs.size(), 2u);
    EXPECT_EQ(log.timeMs[1] - log.timeMs[0], 969);
    EXPECT_EQ(log.failedRows, 1);
    EXPECT_EQ(seriesNamed(log, "digital0").values[0], 30.5);
    EXPECT_TRUE(std::isnan(seriesNamed(log, "fan1_duty").values[1]));
    ASSERT_EQ(log.skipped.size(), 3u);
    EXPECT_EQ(log.skipped[0], "line 5: 'yesterday' is no UTC time");
    EXPECT_EQ(log.skipped[1], "line 6: 3 columns where the header has 4");
    EXPECT_EQ(log.skipped[2], "line 7: 3 columns where the header has 4");
}

TEST(ReadingLog, ReadsTheTailOfALongLogWithItsHeaderFromALineStart)
{
    const std::string path = testing::TempDir() + "tail.csv";
    {
        std::ofstream file(path, std::ios::binary);
        file << "time,digital0\r\n";
        for (int second = 10; second < 60; ++second)
            file << "2026-12-08T06:59:" << second << ".000Z,3" << second % 10 << ".5\r\n";
    }
    ReadingLog log;
    std::string error;
    // 70 bytes: the last two rows (31 bytes each) and part of the one before.
    ASSERT_TRUE(readReadingLogTail(path, 70, log, error)) << error;
    EXPECT_TRUE(log.skipped.empty());
    ASSERT_EQ(log.timeMs.size(), 2u);
    EXPECT_EQ(seriesNamed(log, "digital0").values, (std::vector<double>{38.5, 39.5}));
    log = ReadingLog();
    ASSERT_TRUE(readReadingLogTail(path, 1 << 20, log, error)) << error;
    EXPECT_EQ(log.timeMs.size(), 50u);
    std::remove(path.c_str());
}

TEST(ReadingLog, RefusesALogWithoutATimeColumn)
{
    for (const std::string text : {"", "\r\n", "digital0,fan0_duty\n30,40\n"}) {
        ReadingLog log;
        std::string error;
        EXPECT_FALSE(readReadingLogText(text, "log.csv", log, error));
        EXPECT_EQ(error, "log.csv has no \"time\" column: it is no log of vornhost watch --csv");
    }
}

TEST(ReadingLog, ChartsGapsAndSingleRowsWithoutNumbersThatAreNoNumbers)
{
    for (const std::string text :
         {"time,digital0\n2026-12-08T06:59:40Z,30\n",
          "time,digital0,error\n2026-12-08T06:59:40Z,,failed\n2026-12-08T06:59:41Z,,\n", "time,fan0_duty\n"}) {
        const std::string svg = svgChart(readLogText(text), "a <log> & more");
        EXPECT_EQ(svg.find("nan"), std::string::npos) << svg;
        EXPECT_EQ(svg.find("inf"), std::string::npos) << svg;
        EXPECT_NE(svg.find("a &lt;log&gt; &amp; more"), std::string::npos);
    }
}

TEST(UtcTime, ReadsBackWhatItWritesAndNothingLess)
{
    long long ms = 0;
    ASSERT_TRUE(parseUtcTime(timestampNow(), ms));
    ASSERT_TRUE(parseUtcTime("2026-12-08T06:39:40.031Z", ms));
    EXPECT_EQ(clockText(ms, true), "06:39:40");
    EXPECT_EQ(dateText(ms), "2026-12-08");
    for (const char *bad : {"2026-12-08T06:39:40", "2026-12-08T06:39:40.031Z ", "2026-12-08", ""})
        EXPECT_FALSE(parseUtcTime(bad, ms)) << bad;
}

TEST(UtcTime, ReadsEveryFieldAndItsRange)
{
    long long ms = 0;
    ASSERT_TRUE(parseUtcTime("1970-01-01T00:00:01.5Z", ms));
    EXPECT_EQ(ms, 1500);
    ASSERT_TRUE(parseUtcTime("2024-02-29T23:59:59.999Z", ms));
    EXPECT_EQ(dateText(ms), "2024-02-29");
    for (const char *bad : {"2023-02-29T00:00:00Z", "2026-13-01T00:00:00Z", "2026-12-08T24:00:00Z",
                            "2026-12-08T06:60:00Z", "2026-12-08T06:39:40.1234Z", "2026-12-08T06:39:40.Z",
                            "2026-12-08T0\xc9\xc5"
                            "59:40.031Z",
                            "2026-12-08 06:39:40Z", "+026-12-08T06:39:40Z"})
        EXPECT_FALSE(parseUtcTime(bad, ms)) << bad;
}

TEST(ReadingLog, TakesNoAbsurdNumberForAReadingAndChartsAnyRangeWithFewLabels)
{
    const ReadingLog log = readLogText(
        "time,digital0,fan0_duty\n"
        "2026-12-08T06:59:40Z,1e64,1e64\n"
        "2026-12-08T06:59:41Z,-1000000,1000000\n");
    EXPECT_TRUE(std::isnan(seriesNamed(log, "digital0").values[0]));
    EXPECT_TRUE(std::isnan(seriesNamed(log, "fan0_duty").values[0]));
    EXPECT_EQ(seriesNamed(log, "fan0_duty").values[1], 1e6);
    // Labels of the axes: a few a side, however wide the range.
    const std::string svg = svgChart(log, "wide");
    size_t labels = 0;
    for (size_t at = svg.find("<text"); at != std::string::npos; at = svg.find("<text", at + 1))
        ++labels;
    EXPECT_LT(labels, 60u);
}
