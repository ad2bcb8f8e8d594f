#include "host/web/historyJson.h"

#include <cmath>

#include "host/output/logColumns.h"
#include "host/output/utcTime.h"

namespace {

// The member of a poll that a column's values go to and their key there:
// "temperatures" by the sensor's name, "duties" and "targets" by "fanN".
bool placeOf(const LoggedSeries &series, const char *&member, std::string &key)
{
    if (series.unit == LogUnit::Celsius) {
        member = "temperatures";
        key = series.column;
        return true;
    }
    int fan = 0;
    FanColumn kind = FanColumn::Duty;
    if (!parseFanColumn(series.column, fan, kind) || (kind != FanColumn::Duty && kind != FanColumn::Target))
        return false;
    member = kind == FanColumn::Duty ? "duties" : "targets";
    key = "fan" + std::to_string(fan);
    return true;
}

// A number as JSON: null when there is none, a whole one without ".0".
JsonDocument jsonValue(double value)
{
    if (!std::isfinite(value))
        return nullptr;
    if (value == std::floor(value) && std::fabs(value) < 1e15)
        return static_cast<long long>(value);
    return value;
}

} // namespace

JsonDocument historyJson(const ReadingLog &log, int minutes, const std::string &source)
{
    JsonDocument history;
    history["minutes"] = minutes;
    history["source"] = source;
    JsonDocument polls = JsonDocument::array();
    for (size_t row = 0; row < log.timeMs.size(); ++row) {
        JsonDocument poll;
        poll["time"] = utcTimeText(log.timeMs[row]);
        poll["error"] = row < log.failed.size() && log.failed[row];
        poll["temperatures"] = JsonDocument::object();
        poll["duties"] = JsonDocument::object();
        poll["targets"] = JsonDocument::object();
        for (const LoggedSeries &series : log.series) {
            const char *member = nullptr;
            std::string key;
            if (!placeOf(series, member, key))
                continue;
            const double value = row < series.values.size() ? series.values[row] : NAN;
            poll[member][key] = jsonValue(value);
        }
        polls.push_back(std::move(poll));
    }
    history["polls"] = std::move(polls);
    return history;
}

bool parseHistoryMinutes(const std::string &text, int &minutes, std::string &error)
{
    int value = 0;
    bool inRange = !text.empty();
    for (const char c : text) {
        // Stops counting past the largest: a long run of digits cannot overflow.
        if (c < '0' || c > '9' || value > kHistoryMostMinutes) {
            inRange = false;
            break;
        }
        value = value * 10 + (c - '0');
    }
    if (!inRange || value < 1 || value > kHistoryMostMinutes) {
        error = "minutes must be a whole number from 1 to " + std::to_string(kHistoryMostMinutes);
        return false;
    }
    minutes = value;
    return true;
}
