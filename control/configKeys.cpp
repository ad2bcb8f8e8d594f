#include "control/configKeys.h"

#include "control/pollSchedule.h"
#include "core/statusFrame.h"

namespace {

constexpr NumberRange kPercent{Measure::Percent, 0, 100};
constexpr NumberRange kCelsius{Measure::Celsius, kLowestCelsius, kHighestCelsius};

} // namespace

const ConfigKeys<ControlConfig> &controlConfigKeys()
{
    static const ConfigKeys<ControlConfig> keys = {
        {"interval", &ControlConfig::interval, false, "", {Measure::Seconds, 1, kLongestPollIntervalSeconds}},
        {"device", &ControlConfig::device},
        {"fans", &ControlConfig::fans, true, "fans [{\"fan\": 0, ...}, ...]"},
        {"alarms", &ControlConfig::alarms},
        {"logDays", &ControlConfig::logDays, false, "", {Measure::Days, 1, kLongestLogDays}},
        {"http", &ControlConfig::http},
    };
    return keys;
}

const ConfigKeys<DeviceConfig> &deviceConfigKeys()
{
    static const ConfigKeys<DeviceConfig> keys = {
        {"serial", &DeviceConfig::serial, false, "a serial number such as \"VORN0000\""},
        {"number", &DeviceConfig::number, false, "", {Measure::DeviceNumber, 0, kHighestDeviceNumber}},
    };
    return keys;
}

const ConfigKeys<FanCurveConfig> &fanConfigKeys()
{
    static const ConfigKeys<FanCurveConfig> keys = {
        {"fan", &FanCurveConfig::fan, true, "", {Measure::Fan, 0, kFanCount - 1}},
        {"sensors", &FanCurveConfig::sensors, true, "sensor names [\"digital3\", ...]"},
        {"points", &FanCurveConfig::points, true, "points [[celsius, percent], ...]"},
        {"hysteresis", &FanCurveConfig::hysteresis, false, "", {Measure::CelsiusMargin, 0, 0}},
        {"maxStepDown", &FanCurveConfig::maxStepDown, false, "", {Measure::Percent, 1, 100}},
        {"minimum", &FanCurveConfig::minimum, false, "", kPercent},
        {"start", &FanCurveConfig::start, false, "", kPercent},
        {"critical", &FanCurveConfig::critical, false, "", kCelsius},
        {"failsafe", &FanCurveConfig::failsafe, false, "", kPercent},
        {"onExit", &FanCurveConfig::onExit, false, "", kPercent},
        {"plausible", &FanCurveConfig::plausible},
    };
    return keys;
}

const ConfigKeys<PlausibleRange> &plausibleRangeKeys()
{
    static const ConfigKeys<PlausibleRange> keys = {
        {"low", &PlausibleRange::low, false, "", kCelsius},
        {"high", &PlausibleRange::high, false, "", kCelsius},
    };
    return keys;
}

const ConfigKeys<AlarmConfig> &alarmConfigKeys()
{
    static const ConfigKeys<AlarmConfig> keys = {
        // The command line of earlier versions, which Windows searched for
        // its program: said apart from an unknown key, so that its writer
        // learns what replaces it.
        {"command",
         std::monostate{},
         false,
         "",
         {},
         "no longer read: name the program by its full path in \"program\" and its arguments in "
         "\"arguments\", e.g. {\"program\": \"C:\\\\Windows\\\\System32\\\\cmd.exe\", "
         "\"arguments\": \"/c C:\\\\VORN\\\\notify.cmd\"}"},
        {"program", &AlarmConfig::program, false,
         "a program's full path such as \"C:\\\\Windows\\\\System32\\\\cmd.exe\""},
        {"arguments", &AlarmConfig::arguments, false, "the program's arguments as one text"},
        {"repeatMinutes", &AlarmConfig::repeatMinutes, false, "", {Measure::Minutes, 0, kLongestRepeatMinutes}},
        {"lostSeconds", &AlarmConfig::lostSeconds, false, "", {Measure::Seconds, 1, kLongestPollIntervalSeconds}},
    };
    return keys;
}

const ConfigKeys<HttpConfig> &httpConfigKeys()
{
    static const ConfigKeys<HttpConfig> keys = {
        {"port", &HttpConfig::port, false, "", {Measure::Port, 1, kHighestPort}},
    };
    return keys;
}
