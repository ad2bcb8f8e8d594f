#include "host/chart/svgChart.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <vector>

#include "host/chart/seriesStyle.h"
#include "host/output/markupText.h"
#include "host/output/utcTime.h"

namespace {

// The canvas and the plot area inside it, in pixels.
constexpr double kWidth = 1000, kHeight = 560;
constexpr double kLeft = 70, kTop = 50, kRight = 790, kBottom = 480;
constexpr double kLegendX = 860, kLegendRow = 18;
// A bold legend entry's width per character, a little above what librsvg's
// sans-serif takes at 12 px, and the margin the canvas keeps after the
// longest such entry.
constexpr double kBoldCharWidth = 7, kLegendMargin = 10;
// Grid lines pale, the frame and its tick marks dark; no series has either colour.
const char kGrid[] = "stroke=\"#dddddd\"";
const char kFrame[] = "stroke=\"#444444\"";
// The legend entry of a sensor set back is dimmed less than its line: its
// words stay readable.
constexpr double kDimmedWordsOpacity = 0.5;

std::string formatted(const char *format, ...)
{
    char text[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    return text;
}

// A set-back style's opacity as an attribute, after a space; none at full opacity.
std::string opacityOf(const SeriesStyle &style)
{
    return style.opacity < 1 ? formatted(" opacity=\"%g\"", style.opacity) : "";
}

// The stroke attributes of a style: colour, width, any dashes and opacity.
std::string strokeOf(const SeriesStyle &style)
{
    return formatted("stroke=\"%s\" stroke-width=\"%g\"%s%s%s", style.color, style.width,
                     style.dash ? " stroke-dasharray=\"" : "", style.dash ? style.dash : "", style.dash ? "\"" : "") +
           opacityOf(style);
}

// "0 2": the fans a sensor drives, as the data-fans attribute lists them.
std::string fanList(const std::vector<int> &fans, const char *separator)
{
    std::string list;
    for (const int fan : fans)
        list += (list.empty() ? "" : separator) + std::to_string(fan);
    return list;
}

// What finds a column's line in the document: the class "series", with
// "drives" and the fans in data-fans when it is a sensor that drives some.
std::string seriesAttributes(const std::string &column, const SeriesStyle &style)
{
    if (style.drives.empty())
        return formatted("class=\"series\" data-column=\"%s\"", column.c_str());
    return formatted("class=\"series drives\" data-column=\"%s\" data-fans=\"%s\"", column.c_str(),
                     fanList(style.drives, " ").c_str());
}

std::string line(double x1, double y1, double x2, double y2, const std::string &stroke)
{
    return formatted("<line x1=\"%.1f\" y1=\"%.1f\" x2=\"%.1f\" y2=\"%.1f\" ", x1, y1, x2, y2) + stroke + "/>\n";
}

// An axis range with round ends and the step between its labels.
struct Scale {
    double low, high, step;
    double y(double value) const { return kBottom - (value - low) / (high - low) * (kBottom - kTop); }
};

// The steps between labels, smallest first: 1, 2 and 5 times each power of
// ten up to the largest magnitude a log's cell may have (readingLog.h).
std::vector<double> labelSteps()
{
    std::vector<double> steps;
    for (double decade = 1; decade <= kLargestLoggedValue; decade *= 10) {
        for (const double times : {1.0, 2.0, 5.0})
            steps.push_back(times * decade);
    }
    return steps;
}

// The temperatures' range, in steps that give at most 8 of them.
Scale celsiusScale(const ReadingLog &log)
{
    double low = INFINITY, high = -INFINITY;
    for (const LoggedSeries &series : log.series) {
        for (const double value : series.values) {
            if (series.unit == LogUnit::Celsius && !std::isnan(value)) {
                low = std::min(low, value);
                high = std::max(high, value);
            }
        }
    }
    if (low > high) {
        low = 20;
        high = 50;
    }
    const std::vector<double> steps = labelSteps();
    for (const double step : steps) {
        const double bottom = std::floor(low / step) * step;
        const double top = std::max(std::ceil(high / step) * step, bottom + step);
        if ((top - bottom) / step <= 8 || step == steps.back())
            return {bottom, top, step};
    }
    return {low, high, 1}; // not reached
}

// 0 to 100 %, further when a duty goes beyond (the frame can carry up to 254).
Scale percentScale(const ReadingLog &log)
{
    double high = 100;
    for (const LoggedSeries &series : log.series) {
        for (const double value : series.values) {
            if (series.unit == LogUnit::Percent && !std::isnan(value))
                high = std::max(high, std::ceil(value / 50) * 50);
        }
    }
    if (high <= 100)
        return {0, high, 20};
    for (const double step : labelSteps()) {
        if (step >= 50 && high / step <= 8)
            return {0, high, step};
    }
    return {0, high, high / 8};
}

struct TimeAxis {
    long long first, last, stepMs;
    double x(long long ms) const
    {
        return kLeft + static_cast<double>(ms - first) / static_cast<double>(last - first) * (kRight - kLeft);
    }
};

TimeAxis timeAxis(const ReadingLog &log)
{
    // A log without rows still gets axes (around the epoch), not a read past
    // the end of its times.
    long long first = log.timeMs.empty() ? 0 : *std::min_element(log.timeMs.begin(), log.timeMs.end());
    long long last = log.timeMs.empty() ? 0 : *std::max_element(log.timeMs.begin(), log.timeMs.end());
    if (first == last) {
        first -= 1000;
        last += 1000;
    }
    static const long long stepsSeconds[] = {
        1,    2,    5,     10,    15,    30,    60,        120,       300,        600,        900,        1800,
        3600, 7200, 10800, 21600, 43200, 86400, 2 * 86400, 7 * 86400, 14 * 86400, 28 * 86400, 91 * 86400, 365 * 86400};
    for (const long long seconds : stepsSeconds) {
        if ((last - first) / (seconds * 1000) <= 8)
            return {first, last, seconds * 1000};
    }
    return {first, last, 3650LL * 86400 * 1000};
}

std::string tickLabel(double value)
{
    return formatted("%g", value);
}

std::string axes(const Scale &celsius, const Scale &percent, const TimeAxis &time)
{
    std::string svg = "<g id=\"axes\" font-size=\"12\" fill=\"#222222\">\n";
    for (double v = celsius.low; v <= celsius.high + 1e-9; v += celsius.step) {
        const double y = celsius.y(v);
        svg += line(kLeft, y, kRight, y, kGrid);
        svg += formatted("<text x=\"%.1f\" y=\"%.1f\" text-anchor=\"end\">%s</text>\n", kLeft - 6, y + 4,
                         tickLabel(v).c_str());
    }
    for (double v = percent.low; v <= percent.high + 1e-9; v += percent.step) {
        const double y = percent.y(v);
        svg += line(kRight, y, kRight + 5, y, kFrame);
        svg += formatted("<text x=\"%.1f\" y=\"%.1f\">%s</text>\n", kRight + 8, y + 4, tickLabel(v).c_str());
    }
    const bool withSeconds = time.stepMs < 60000, days = time.stepMs >= 86400000;
    long long firstTick = time.first / time.stepMs * time.stepMs; // whole steps of UTC since 1970
    if (firstTick < time.first)
        firstTick += time.stepMs;
    for (long long t = firstTick; t <= time.last; t += time.stepMs) {
        const double x = time.x(t);
        svg += line(x, kTop, x, kBottom, kGrid);
        svg += formatted("<text x=\"%.1f\" y=\"%.1f\" text-anchor=\"middle\">%s</text>\n", x, kBottom + 18,
                         (days ? dateText(t) : clockText(t, withSeconds)).c_str());
    }
    const double middle = (kTop + kBottom) / 2;
    svg += formatted(
        "<text x=\"20\" y=\"%.1f\" text-anchor=\"middle\" transform=\"rotate(-90 20 %.1f)\">"
        "temperature (\u00b0C)</text>\n",
        middle, middle);
    svg += formatted(
        "<text x=\"%.1f\" y=\"%.1f\" text-anchor=\"middle\" transform=\"rotate(90 %.1f %.1f)\">"
        "fan duty (%%)</text>\n",
        kRight + 48, middle, kRight + 48, middle);
    svg += formatted("<text x=\"%.1f\" y=\"%.1f\" text-anchor=\"middle\">time (UTC)</text>\n", (kLeft + kRight) / 2,
                     kBottom + 42);
    svg += formatted("<rect id=\"plot-area\" x=\"%.1f\" y=\"%.1f\" width=\"%.1f\" height=\"%.1f\" fill=\"none\" %s/>\n",
                     kLeft, kTop, kRight - kLeft, kBottom - kTop, kFrame);
    return svg + "</g>\n";
}

// One column's line, broken wherever a row has no value; a value alone
// between two gaps is a dot.
std::string seriesLine(const LoggedSeries &series, const SeriesStyle &style, const std::vector<long long> &timeMs,
                       const Scale &scale, const TimeAxis &time)
{
    const std::string attributes = seriesAttributes(series.column, style);
    std::string path, dots;
    const size_t count = series.values.size();
    for (size_t i = 0; i < count; ++i) {
        if (std::isnan(series.values[i]))
            continue;
        const double x = time.x(timeMs[i]), y = scale.y(series.values[i]);
        const bool before = i > 0 && !std::isnan(series.values[i - 1]);
        const bool after = i + 1 < count && !std::isnan(series.values[i + 1]);
        if (!before && !after)
            dots += formatted("<circle %s cx=\"%.1f\" cy=\"%.1f\" r=\"%.1f\" fill=\"%s\"%s/>\n", attributes.c_str(), x,
                              y, style.width, style.color, opacityOf(style).c_str());
        else
            path += formatted("%s%.1f %.1f", path.empty() ? "M" : before ? " L" : " M", x, y);
    }
    if (path.empty())
        return dots;
    return "<path " + attributes + " fill=\"none\" stroke-linejoin=\"round\" " + strokeOf(style) + " d=\"" + path +
           "\"/>\n" + dots;
}

// A legend entry's words: the column and its unit, and the fans a sensor
// drives ("digital0 \u00b0C \u2192 fans 0, 2").
std::string legendWords(const LoggedSeries &series, const SeriesStyle &style)
{
    std::string words = series.column + (series.unit == LogUnit::Celsius ? " \u00b0C" : " %");
    if (!style.drives.empty())
        words += (style.drives.size() == 1 ? " \u2192 fan " : " \u2192 fans ") + fanList(style.drives, ", ");
    return words;
}

// The canvas's width: wider than kWidth only as far as a sensor's legend
// entry that names the fans it drives needs.
double canvasWidth(const ReadingLog &log, const std::vector<SeriesStyle> &styles)
{
    double width = kWidth;
    for (size_t s = 0; s < log.series.size(); ++s) {
        if (styles[s].drives.empty())
            continue;
        size_t characters = 0;
        for (const char c : legendWords(log.series[s], styles[s]))
            characters += (static_cast<unsigned char>(c) & 0xC0) != 0x80; // UTF-8: lead bytes only
        width = std::max(width, std::ceil(kLegendX + 30 + characters * kBoldCharWidth + kLegendMargin));
    }
    return width;
}

// A legend entry's text: bold for a sensor that drives a fan, dimmed for
// one set back.
std::string legendText(double y, const LoggedSeries &series, const SeriesStyle &style)
{
    return formatted("<text x=\"%.1f\" y=\"%.1f\"%s%s>", kLegendX + 30, y + 4,
                     style.drives.empty() ? "" : " font-weight=\"bold\"",
                     style.opacity < 1 ? formatted(" opacity=\"%g\"", kDimmedWordsOpacity).c_str() : "") +
           markupEscaped(legendWords(series, style)) + "</text>\n";
}

// The columns' names with a sample of their line, temperatures first.
std::string legend(const ReadingLog &log, const std::vector<SeriesStyle> &styles)
{
    std::string svg = "<g id=\"legend\" font-size=\"12\" fill=\"#222222\">\n";
    double y = kTop + 4;
    for (size_t s = 0; s < log.series.size(); ++s) {
        const LoggedSeries &series = log.series[s];
        if (s > 0 && series.unit != log.series[s - 1].unit)
            y += kLegendRow / 2;
        svg += line(kLegendX, y, kLegendX + 24, y, strokeOf(styles[s]));
        svg += legendText(y, series, styles[s]);
        y += kLegendRow;
    }
    return svg + "</g>\n";
}

} // namespace

std::string svgChart(const ReadingLog &log, const std::string &title, const std::vector<DrivenFan> &driven)
{
    const Scale celsius = celsiusScale(log), percent = percentScale(log);
    const TimeAxis time = timeAxis(log);
    std::vector<SeriesStyle> styles;
    for (const LoggedSeries &series : log.series)
        styles.push_back(seriesStyle(series.column, driven));
    const double width = canvasWidth(log, styles);
    std::string svg = formatted(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%g\" height=\"%g\" "
        "viewBox=\"0 0 %g %g\" font-family=\"sans-serif\">\n",
        width, kHeight, width, kHeight);
    svg += "<title>" + markupEscaped(title) + "</title>\n";
    svg += formatted("<rect width=\"%g\" height=\"%g\" fill=\"#ffffff\"/>\n", width, kHeight);
    svg += formatted("<text x=\"%.1f\" y=\"28\" font-size=\"15\" fill=\"#222222\">", kLeft) + markupEscaped(title) +
           "</text>\n";
    svg += axes(celsius, percent, time);
    svg += formatted(
        "<clipPath id=\"plot-clip\"><rect x=\"%.1f\" y=\"%.1f\" width=\"%.1f\" height=\"%.1f\"/>"
        "</clipPath>\n<g id=\"series\" clip-path=\"url(#plot-clip)\">\n",
        kLeft - 2, kTop - 2, kRight - kLeft + 4, kBottom - kTop + 4);
    for (size_t s = 0; s < log.series.size(); ++s) {
        const LoggedSeries &series = log.series[s];
        svg += seriesLine(series, styles[s], log.timeMs, series.unit == LogUnit::Celsius ? celsius : percent, time);
    }
    svg += "</g>\n" + legend(log, styles) + "</svg>\n";
    return svg;
}
