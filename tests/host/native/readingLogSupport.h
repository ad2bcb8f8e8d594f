// What the native tests of reading logs share: a log read from a CSV text,
// and one of its series by its column's name.
#pragma once

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "host/chart/readingLog.h"

inline ReadingLog readLogText(const std::string &text)
{
    ReadingLog log;
    std::string error;
    EXPECT_TRUE(readReadingLogText(text, "log.csv", log, error)) << error;
    return log;
}

inline const LoggedSeries &seriesNamed(const ReadingLog &log, const std::string &column)
{
    for (const LoggedSeries &s : log.series) {
        if (s.column == column)
            return s;
    }
    throw std::runtime_error("no series " + column);
}
