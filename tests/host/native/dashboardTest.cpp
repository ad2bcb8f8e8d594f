// What the dashboard serves, from the view the control loop leaves: the
// metrics must stay valid exposition text whatever the poll held, the
// history must refuse every query but a whole number of minutes in range, the
// memory of the last hour must keep exactly its rows at the edges, and the
// panel must never let a text of the plug-in or an alarm open a tag.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "host/chart/readingLog.h"
#include "host/output/utcTime.h"
#include "host/web/dashboardPanel.h"
#include "host/web/expositionText.h"
#include "host/web/historyJson.h"
#include "host/web/metricsText.h"
#include "host/web/readingLogRows.h"
#include "readingLogSupport.h"

namespace {

const char kTime[] = "2026-12-08T06:39:40.031Z";
const char kHostile[] = "<script>alert(\"x\")</script> & 'q'";

FanOutcome outcome(int fan, int target, DutyReason reason, std::optional<double> input, std::string message = "")
{
    FanOutcome result;
    result.decision.fan = fan;
    result.decision.target = target;
    result.decision.reason = reason;
    result.decision.input = input;
    result.decision.message = std::move(message);
    return result;
}

// Fans 0 and 2 configured, fan 0 on digital0 and digital1, fan 2 on digital1
// and analog3; a poll that read digital1 hottest.
DashboardView polledView()
{
    DashboardView view;
    view.intervalSeconds = 2;
    view.fans = {{0, {"digital0", "digital1"}}, {2, {"digital1", "analog3"}}};
    view.polled = true;
    view.time = kTime;
    view.reading.digitalCelsius[0] = 38;
    view.reading.digitalCelsius[1] = 41.5;
    view.reading.analogCelsius[3] = 30;
    view.reading.dutyPercent[0] = 40;
    view.reading.dutyPercent[2] = 60;
    view.outcomes = {outcome(0, 42, DutyReason::Curve, 41.5), outcome(2, 60, DutyReason::Hysteresis, 41.5)};
    view.outcomes[0].sent = 42;
    view.alarmCounts[static_cast<size_t>(AlarmKind::FailsafeEntered)] = 3;
    return view;
}

struct Exposition {
    std::map<std::string, std::vector<std::string>> samples; // by family: "labels value" per sample
    std::vector<std::string> faults;
};

// Reads exposition text as a scraper does and notes every break of the
// format: a family's HELP and TYPE before its samples, once each; samples
// of one family together; well-formed labels and numbers.
Exposition readExposition(const std::string &text)
{
    static const std::regex help(R"(# HELP ([a-zA-Z_:][a-zA-Z0-9_:]*) [^\n]+)");
    static const std::regex type(R"(# TYPE ([a-zA-Z_:][a-zA-Z0-9_:]*) (gauge|counter))");
    static const std::regex sample(
        R"(([a-zA-Z_:][a-zA-Z0-9_:]*)(\{([a-zA-Z_][a-zA-Z0-9_]*="([^"\\\n]|\\[\\"n])*",?)*\})? )"
        R"((-?[0-9]+(\.[0-9]+)?(e[+-]?[0-9]+)?|NaN|[+-]Inf))");
    Exposition out;
    std::set<std::string> helped, typed, closed;
    std::string current;
    std::istringstream lines(text);
    std::string line;
    int number = 0;
    if (text.empty() || text.back() != '\n')
        out.faults.push_back("the text does not end in a line feed");
    while (std::getline(lines, line)) {
        const std::string where = "line " + std::to_string(++number) + ": ";
        std::smatch match;
        if (std::regex_match(line, match, help)) {
            if (!helped.insert(match[1]).second || closed.count(match[1]))
                out.faults.push_back(where + "a second HELP for " + match[1].str());
            if (!current.empty() && current != match[1])
                closed.insert(current);
            current = match[1];
        } else if (std::regex_match(line, match, type)) {
            if (match[1] != current || !typed.insert(match[1]).second)
                out.faults.push_back(where + "TYPE without its HELP just before");
        } else if (std::regex_match(line, match, sample)) {
            if (match[1] != current || !typed.count(current))
                out.faults.push_back(where + "a sample outside its family: " + line);
            out.samples[match[1]].push_back(line.substr(match[1].length()));
        } else {
            out.faults.push_back(where + "not exposition text: " + line);
        }
    }
    return out;
}

// Every tag the HTML opens or closes, by name.
std::set<std::string> tagNames(const std::string &html)
{
    static const std::regex tag(R"(</?([a-zA-Z0-9]+))");
    std::set<std::string> names;
    for (std::sregex_iterator it(html.begin(), html.end(), tag), end; it != end; ++it)
        names.insert((*it)[1]);
    return names;
}

size_t count(const std::string &text, const std::string &part)
{
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

long long ms(const char *time)
{
    long long value = 0;
    EXPECT_TRUE(parseUtcTime(time, value)) << time;
    return value;
}

} // namespace

TEST(DashboardMetrics, AreValidExpositionTextAtEveryStageOfARun)
{
    DashboardView failed = polledView();
    failed.reading.error = "FT_Read failed";
    failed.outcomes = {outcome(0, 100, DutyReason::Failsafe, std::nullopt, "the reading failed")};
    for (const DashboardView &view : {DashboardView(), polledView(), failed}) {
        Exposition metrics = readExposition(metricsText(view));
        EXPECT_EQ(metrics.faults, std::vector<std::string>());
        // The kinds a run raises, never the alarm command's test.
        ASSERT_EQ(metrics.samples["vorn_alarms_total"].size(), kAlarmKindCount - 1);
        for (const std::string &s : metrics.samples["vorn_alarms_total"])
            EXPECT_EQ(s.find("\"test\""), std::string::npos) << s;
    }

    const Exposition before = readExposition(metricsText(DashboardView()));
    EXPECT_EQ(before.samples.count("vorn_temperature_celsius"), 0u);
    EXPECT_EQ(before.samples.count("vorn_poll_failed"), 0u);
    EXPECT_EQ(before.samples.count("vorn_last_poll_timestamp_seconds"), 0u);

    // A failed reading has no temperatures or frame duties, but its
    // fail-safe decision shows.
    Exposition after = readExposition(metricsText(failed));
    EXPECT_EQ(after.samples.count("vorn_temperature_celsius"), 0u);
    EXPECT_EQ(after.samples.count("vorn_fan_duty_percent"), 0u);
    EXPECT_EQ(after.samples.count("vorn_fan_input_celsius"), 0u);
    EXPECT_EQ(after.samples["vorn_poll_failed"], std::vector<std::string>{" 1"});
    EXPECT_EQ(after.samples["vorn_fan_target_percent"], std::vector<std::string>{"{fan=\"0\"} 100"});
    EXPECT_EQ(count(metricsText(failed), "vorn_fan_reason{fan=\"0\",reason=\"failsafe\"} 1"), 1u);
}

TEST(DashboardMetrics, CarryThePollsValuesWithOneReasonPerFan)
{
    const std::string text = metricsText(polledView());
    Exposition metrics = readExposition(text);
    EXPECT_EQ(metrics.samples["vorn_temperature_celsius"].size(), 14u);
    EXPECT_EQ(metrics.samples["vorn_fan_duty_percent"].size(), 4u);
    EXPECT_NE(text.find("vorn_temperature_celsius{sensor=\"digital1\"} 41.5\n"), std::string::npos);
    EXPECT_NE(text.find("vorn_temperature_celsius{sensor=\"analog3\"} 30\n"), std::string::npos);
    EXPECT_NE(text.find("vorn_fan_duty_percent{fan=\"2\"} 60\n"), std::string::npos);
    EXPECT_NE(text.find("vorn_fan_input_celsius{fan=\"2\"} 41.5\n"), std::string::npos);
    EXPECT_NE(text.find("vorn_alarms_total{alarm=\"failsafe-entered\",severity=\"error\"} 3\n"), std::string::npos);
    EXPECT_NE(text.find("vorn_last_poll_timestamp_seconds 1796711980.031\n"), std::string::npos);
    EXPECT_NE(text.find("vorn_poll_interval_seconds 2\n"), std::string::npos);
    EXPECT_NE(text.find("vorn_poll_failed 0\n"), std::string::npos);
    // Every reason once per configured fan, exactly one of them 1.
    ASSERT_EQ(metrics.samples["vorn_fan_reason"].size(), 2u * kDutyReasonCount);
    for (const std::string fan : {"{fan=\"0\"", "{fan=\"2\""}) {
        int ones = 0;
        for (const std::string &s : metrics.samples["vorn_fan_reason"])
            ones += s.rfind(fan, 0) == 0 && s.substr(s.size() - 2) == " 1";
        EXPECT_EQ(ones, 1) << fan;
    }
    EXPECT_NE(text.find("vorn_fan_reason{fan=\"2\",reason=\"hysteresis\"} 1\n"), std::string::npos);
    EXPECT_NE(text.find("vorn_fan_reason{fan=\"2\",reason=\"curve\"} 0\n"), std::string::npos);
}

TEST(DashboardMetrics, EscapeLabelsAndHelpAndWriteEveryNumberAScraperReads)
{
    EXPECT_EQ(escapedLabelValue("a\"b\\c\nd"), "a\\\"b\\\\c\\nd");
    EXPECT_EQ(escapedLabelValue("41.5 \u00b0C"), "41.5 \u00b0C");
    ExpositionText out;
    out.family("vorn_x", "gauge", "a \\ help\nacross lines");
    out.sample({{"name", "say \"hi\"\n\\"}}, NAN);
    out.sample({}, -INFINITY);
    out.sample({}, 1e300);
    EXPECT_EQ(out.text(),
              "# HELP vorn_x a \\\\ help\\nacross lines\n# TYPE vorn_x gauge\n"
              "vorn_x{name=\"say \\\"hi\\\"\\n\\\\\"} NaN\nvorn_x -Inf\nvorn_x 1e+300\n");
    EXPECT_EQ(readExposition(out.text()).faults, std::vector<std::string>());
}

TEST(DashboardHistory, TakesOnlyAWholeNumberOfMinutesUpToADay)
{
    for (const auto &[text, expected] :
         std::vector<std::pair<std::string, int>>{{"1", 1}, {"60", 60}, {"1440", 1440}, {"0060", 60}}) {
        int minutes = 0;
        std::string error;
        EXPECT_TRUE(parseHistoryMinutes(text, minutes, error)) << text;
        EXPECT_EQ(minutes, expected) << text;
    }
    for (const std::string &text :
         std::vector<std::string>{"", "abc", "0", "1441", "1e3", "99999999999999999999", "-5", " 60", "60 ", "6 0",
                                  "+60", "60.0", "0x10", std::string("60\0", 3)}) {
        int minutes = 7;
        std::string error;
        EXPECT_FALSE(parseHistoryMinutes(text, minutes, error)) << text;
        EXPECT_EQ(minutes, 7) << text;
        EXPECT_EQ(error, "minutes must be a whole number from 1 to 1440") << text;
    }
}

TEST(DashboardHistory, WritesEachRowWithNullsWhereItHasNoValue)
{
    ReadingLog log;
    Reading good;
    good.digitalCelsius[0] = 41.5;
    good.dutyPercent[0] = 40;
    Reading bad;
    bad.error = "FT_Read failed";
    appendPoll(log, ms(kTime), good, {outcome(0, 42, DutyReason::Curve, 41.5)});
    appendPoll(log, ms(kTime) + 1000, bad, {outcome(0, 100, DutyReason::Failsafe, std::nullopt)});
    const JsonDocument history = historyJson(log, 60, "memory");
    EXPECT_EQ(history["minutes"], 60);
    EXPECT_EQ(history["source"], "memory");
    ASSERT_EQ(history["polls"].size(), 2u);
    const JsonDocument &first = history["polls"][0], &second = history["polls"][1];
    EXPECT_EQ(first["time"], kTime);
    EXPECT_EQ(first["error"], false);
    EXPECT_EQ(first["temperatures"].size(), 14u);
    EXPECT_EQ(first["temperatures"]["digital0"], 41.5);
    EXPECT_EQ(first["duties"].dump(), R"({"fan0":40,"fan1":0,"fan2":0,"fan3":0})");
    EXPECT_EQ(first["targets"].dump(), R"({"fan0":42,"fan1":null,"fan2":null,"fan3":null})");
    EXPECT_EQ(second["time"], "2026-12-08T06:39:41.031Z");
    EXPECT_EQ(second["error"], true);
    EXPECT_TRUE(second["temperatures"]["analog5"].is_null());
    EXPECT_TRUE(second["duties"]["fan0"].is_null());
    EXPECT_EQ(second["targets"]["fan0"], 100);

    // A watch log read back has no targets: none are made up.
    ReadingLog watched;
    std::string error;
    ASSERT_TRUE(
        readReadingLogText("time,digital0,fan1_duty,error\n2026-12-08T06:39:40Z,30.5,40,\n"
                           "2026-12-08T06:39:41Z,,,FT_Read failed\n",
                           "log.csv", watched, error));
    const JsonDocument read = historyJson(watched, 5, "log");
    EXPECT_EQ(read.dump(), R"({"minutes":5,"source":"log","polls":[)"
                           R"({"time":"2026-12-08T06:39:40.000Z","error":false,"temperatures":{"digital0":30.5},)"
                           R"("duties":{"fan1":40},"targets":{}},)"
                           R"({"time":"2026-12-08T06:39:41.000Z","error":true,"temperatures":{"digital0":null},)"
                           R"("duties":{"fan1":null},"targets":{}}]})");
}

TEST(DashboardMemory, KeepsExactlyTheRowsOfTheLastMinutesWithTheirValues)
{
    ReadingLog log;
    Reading reading;
    const long long start = ms(kTime);
    for (int minute = 0; minute <= 3; ++minute) {
        reading.digitalCelsius[2] = 30 + minute;
        reading.error = minute == 1 ? "FT_Read failed" : "";
        appendPoll(log, start + minute * 60000LL, reading, {});
    }
    ASSERT_EQ(log.series.size(), plottedSeries().size());
    for (size_t s = 0; s < log.series.size(); ++s)
        EXPECT_EQ(log.series[s].column, plottedSeries()[s].column);
    EXPECT_EQ(log.failedRows, 1);
    EXPECT_TRUE(std::isnan(seriesNamed(log, "digital2").values[1]));
    EXPECT_TRUE(std::isnan(seriesNamed(log, "fan0_target").values[0]));

    // The row exactly `minutes` before now is out; the one a millisecond
    // later is in.
    const ReadingLog cut = lastMinutes(log, start + 3 * 60000LL, 2);
    EXPECT_EQ(cut.timeMs, (std::vector<long long>{start + 120000, start + 180000}));
    EXPECT_EQ(seriesNamed(cut, "digital2").values, (std::vector<double>{32, 33}));
    EXPECT_EQ(cut.failedRows, 0);
    EXPECT_EQ(lastMinutes(log, start + 3 * 60000LL - 1, 2).timeMs.size(), 3u);
    EXPECT_EQ(log.timeMs.size(), 4u); // the original stays whole

    // A row at exactly the oldest time stays.
    dropBefore(log, start + 60000);
    EXPECT_EQ(log.timeMs, (std::vector<long long>{start + 60000, start + 120000, start + 180000}));
    EXPECT_EQ(log.failed, (std::vector<bool>{true, false, false}));
    EXPECT_EQ(log.failedRows, 1);
    EXPECT_EQ(seriesNamed(log, "digital2").values[2], 33);
    dropBefore(log, start + 60001);
    EXPECT_EQ(log.failedRows, 0);
    dropBefore(log, start + 999999);
    EXPECT_TRUE(log.timeMs.empty());
    EXPECT_TRUE(seriesNamed(log, "digital2").values.empty());
}

TEST(DashboardMemory, ThinsALongSpanAndForgetsTimesAClockSetBackLeftAhead)
{
    ReadingLog log;
    Reading reading;
    const long long start = ms(kTime);
    for (int second = 0; second < 10; ++second) {
        reading.digitalCelsius[0] = second;
        reading.error = second == 4 ? "FT_Read failed" : "";
        appendPoll(log, start + second * 1000LL, reading, {});
    }
    size_t every = 0;
    ReadingLog thin = everyNthRow(log, 4, every);
    EXPECT_EQ(every, 3u);
    EXPECT_EQ(seriesNamed(thin, "digital0").values, (std::vector<double>{0, 3, 6, 9}));
    EXPECT_EQ(everyNthRow(log, 10, every).timeMs.size(), 10u);
    EXPECT_EQ(every, 1u);
    thin = everyNthRow(log, 5, every);
    EXPECT_EQ(every, 2u);
    EXPECT_EQ(thin.failed, (std::vector<bool>{false, false, true, false, false}));
    EXPECT_EQ(thin.failedRows, 1);

    dropAfter(log, start + 2500);
    EXPECT_EQ(log.timeMs, (std::vector<long long>{start, start + 1000, start + 2000}));
    EXPECT_EQ(log.failedRows, 0);
}

TEST(DashboardPanel, EscapesEveryTextOfThePlugInAndTheAlarms)
{
    DashboardView view = polledView();
    view.reading.error = std::string(kHostile) + " caf\xe9"; // the plug-in's texts are Latin-1
    view.outcomes[0].failure = kHostile;
    view.outcomes[1].decision.message = kHostile;
    AlarmEvent event;
    event.kind = AlarmKind::ControllerLost;
    event.detail = kHostile;
    view.alarms = {{kTime, event}};
    const std::string html = panelHtml(view);
    // Only the panel's own tags (no <strong>: a failed reading has no hottest sensor).
    EXPECT_EQ(tagNames(html), (std::set<std::string>{"h2", "li", "ol", "p", "section", "div", "span", "table", "thead",
                                                     "tbody", "tr", "th", "td", "time"}));
    EXPECT_EQ(count(html, "&lt;script&gt;alert(&quot;x&quot;)&lt;/script&gt; &amp; &#39;q&#39;"), 4u);
    EXPECT_NE(html.find("caf\xc3\xa9"), std::string::npos);
    EXPECT_NE(html.find("<p id=\"poll-error\" class=\"error\">"), std::string::npos);
    EXPECT_NE(html.find("<li class=\"alarm\" data-alarm=\"controller-lost\" data-severity=\"error\"><time"),
              std::string::npos);
}

TEST(DashboardPanel, ShowsFansAndTheSensorsThatDriveThem)
{
    const std::string html = panelHtml(polledView());
    EXPECT_NE(html.find("<p id=\"updated\" data-time=\"2026-12-08T06:39:40.031Z\" data-interval=\"2\">Last poll "),
              std::string::npos);
    EXPECT_EQ(html.find("poll-error"), std::string::npos);
    EXPECT_EQ(count(html, "<tr class=\"fan "), 2u);
    EXPECT_NE(html.find("<tr class=\"fan fan-2\" style=\"--fan:#00a651\" data-fan=\"2\" data-reason=\"hysteresis\">"),
              std::string::npos);
    EXPECT_NE(html.find("<td class=\"duty\">60 %</td><td class=\"target\">60 %</td>"), std::string::npos);
    EXPECT_NE(html.find("<td class=\"target\">42 % (sent)</td>"), std::string::npos);
    EXPECT_NE(html.find("<td class=\"input\">41.5 \u00b0C</td><td class=\"sensors\">digital0, "
                        "<strong>digital1</strong></td>"),
              std::string::npos);
    EXPECT_EQ(count(html, "<div class=\"sensor"), 14u);
    // digital1 drives both fans and takes the colour of the first.
    EXPECT_NE(html.find("<div class=\"sensor drives fan-0 fan-2\" style=\"--fan:#e6007e\" data-fans=\"0 2\" "
                        "data-sensor=\"digital1\"><span class=\"name\">digital1</span>"
                        "<span class=\"value\">41.5 \u00b0C</span><span class=\"fans\">fan 0, fan 2</span></div>"),
              std::string::npos);
    EXPECT_NE(html.find("<div class=\"sensor\" data-sensor=\"analog5\"><span class=\"name\">analog5</span>"
                        "<span class=\"value\">0 \u00b0C</span></div>"),
              std::string::npos);
    EXPECT_NE(html.find("<li class=\"none\">No alarms since vornhost started</li>"), std::string::npos);
}

TEST(DashboardPanel, BeforeTheFirstPollShowsTheConfigurationWaiting)
{
    DashboardView view;
    view.fans = {{1, {"analog0"}}};
    const std::string html = panelHtml(view);
    EXPECT_NE(html.find("<p id=\"updated\" data-interval=\"1\">Waiting for the first poll</p>"), std::string::npos);
    EXPECT_EQ(html.find("poll-error"), std::string::npos);
    EXPECT_NE(html.find("<tr class=\"fan fan-1\" style=\"--fan:#0050ff\" data-fan=\"1\"><td class=\"fan-name\">Fan "
                        "1</td><td class=\"duty\">\u2014</td><td class=\"target\">\u2014</td>"),
              std::string::npos);
    EXPECT_EQ(count(html, "<span class=\"value\">\u2014</span>"), 14u);
    EXPECT_NE(html.find("<td class=\"sensors\">analog0</td>"), std::string::npos);
}
