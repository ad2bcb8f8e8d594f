// The chart's marks of what drives each fan, from a configuration as
// `vornhost plot --config` reads it: the driving sensors bold in their fan's
// colour and named in the legend, the other sensors set back, the duties
// untouched, and no mark for what the log or the controller does not have.
#include <gtest/gtest.h>

#include <string>

#include "host/chart/drivenFans.h"
#include "host/chart/readingLog.h"
#include "host/chart/svgChart.h"
#include "host/fans/controlConfigFile.h"
#include "readingLogSupport.h"

namespace {

std::vector<DrivenFan> driven(const std::string &configText)
{
    ControlConfig config;
    ConfigError error;
    EXPECT_TRUE(parseControlConfig(configText, config, error)) << configErrorText(error);
    return drivenFans(config);
}

// The first element, from its '<' to its '>', with this data-column.
std::string element(const std::string &svg, const std::string &column)
{
    const size_t at = svg.find("data-column=\"" + column + "\"");
    if (at == std::string::npos)
        return "no element for " + column;
    const size_t start = svg.rfind('<', at);
    return svg.substr(start, svg.find('>', at) - start + 1);
}

std::string attribute(const std::string &element, const std::string &name)
{
    const size_t at = element.find(" " + name + "=\"");
    if (at == std::string::npos)
        return "";
    const size_t start = at + name.size() + 3;
    return element.substr(start, element.find('"', start) - start);
}

// The legend's text element whose words begin with `column`.
std::string legendEntry(const std::string &svg, const std::string &column)
{
    const size_t legend = svg.find("<g id=\"legend\"");
    const size_t at = svg.find(">" + column + " ", legend);
    if (legend == std::string::npos || at == std::string::npos)
        return "no legend entry for " + column;
    const size_t start = svg.rfind('<', at);
    return svg.substr(start, svg.find("</text>", at) - start);
}

const std::string kLog =
    "time,digital0,digital1,analog1,fan0_duty,fan0_target,fan2_duty\n"
    "2026-12-08T06:59:40Z,30,31,32,40,45,50\n"
    "2026-12-08T06:59:41Z,30.5,31.5,32.5,41,46,51\n";

} // namespace

TEST(SvgChartMarks, DrawsTheDrivingSensorsInTheirFansColourAndSetsBackTheRest)
{
    const ReadingLog log = readLogText(kLog);
    const std::string plain = svgChart(log, "log");
    const std::string svg = svgChart(log, "log", driven(R"({"fans": [
        {"fan": 2, "sensors": ["digital0"], "points": [[30, 20], [60, 100]]},
        {"fan": 0, "sensors": ["analog1", "digital0"], "points": [[30, 20], [60, 100]]}]})"));

    // digital0 drives fans 2 and 0: fan 2's colour, the first named.
    const std::string digital0 = element(svg, "digital0");
    EXPECT_EQ(attribute(digital0, "class"), "series drives");
    EXPECT_EQ(attribute(digital0, "data-fans"), "2 0");
    EXPECT_EQ(attribute(digital0, "stroke"), attribute(element(svg, "fan2_duty"), "stroke"));
    EXPECT_EQ(attribute(digital0, "opacity"), "");
    const std::string analog1 = element(svg, "analog1");
    EXPECT_EQ(attribute(analog1, "data-fans"), "0");
    EXPECT_EQ(attribute(analog1, "stroke"), attribute(element(svg, "fan0_duty"), "stroke"));
    EXPECT_GT(std::stod(attribute(analog1, "stroke-width")),
              std::stod(attribute(element(plain, "analog1"), "stroke-width")));

    const std::string digital1 = element(svg, "digital1");
    EXPECT_EQ(attribute(digital1, "class"), "series");
    EXPECT_EQ(attribute(digital1, "data-fans"), "");
    EXPECT_LT(std::stod(attribute(digital1, "opacity")), 0.5);
    EXPECT_LT(std::stod(attribute(digital1, "stroke-width")), std::stod(attribute(analog1, "stroke-width")));

    for (const char *column : {"fan0_duty", "fan0_target", "fan2_duty"})
        EXPECT_EQ(element(svg, column), element(plain, column)) << column;

    EXPECT_EQ(legendEntry(svg, "digital0"),
              "<text x=\"890.0\" y=\"58.0\" font-weight=\"bold\">digital0 \u00b0C \u2192 fans 2, 0");
    EXPECT_NE(legendEntry(svg, "analog1").find("bold\">analog1 \u00b0C \u2192 fan 0"), std::string::npos);
    EXPECT_NE(legendEntry(svg, "digital1").find("opacity"), std::string::npos);
    EXPECT_EQ(legendEntry(svg, "fan0_duty"), legendEntry(plain, "fan0_duty"));
}

TEST(SvgChartMarks, WidensTheCanvasOnlyForALegendEntryThatNamesFans)
{
    const ReadingLog log = readLogText(kLog);
    // Each width is that of the canvas and of its white background.
    const auto widths = [](const std::string &svg) {
        const std::string svgWidth = attribute(svg.substr(svg.find("<svg")), "width");
        return svgWidth + " " + attribute(svg.substr(svg.find("<rect")), "width");
    };
    EXPECT_EQ(widths(svgChart(log, "log")), "1000 1000");
    EXPECT_EQ(widths(svgChart(log, "log", {{1, {"fan0_duty", "analog5"}}})), "1000 1000");
    const std::string svg =
        svgChart(log, "log", {{0, {"digital0"}}, {1, {"digital0"}}, {2, {"digital0"}}, {3, {"digital0"}}});
    const std::string width = attribute(svg.substr(svg.find("<svg")), "width");
    // "digital0 °C → fans 0, 1, 2, 3" in bold: about 180 px from x = 890.
    EXPECT_GE(std::stod(width), 890 + 180);
    EXPECT_EQ(widths(svg), width + " " + width);
}

TEST(SvgChartMarks, MarksNothingTheLogOrTheControllerDoesNotHave)
{
    // One reading: each line is a dot, marked like a line.
    const ReadingLog log = readLogText("time,digital0,digital1\n2026-12-08T06:59:40Z,30,31\n");
    const std::string svg = svgChart(log, "log", {{7, {"digital0"}}, {-1, {"digital0"}}, {3, {"digital1"}}});
    const std::string digital0 = element(svg, "digital0"), digital1 = element(svg, "digital1");
    EXPECT_EQ(digital0.rfind("<circle", 0), 0u) << digital0;
    EXPECT_EQ(attribute(digital0, "class"), "series");
    EXPECT_NE(attribute(digital0, "opacity"), "");
    EXPECT_EQ(attribute(digital1, "class"), "series drives");
    EXPECT_EQ(attribute(digital1, "data-fans"), "3");
    EXPECT_EQ(svg.find("fan 7"), std::string::npos);
    EXPECT_EQ(svg.find("fan -1"), std::string::npos);
}
