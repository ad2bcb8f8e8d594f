#include "host/plugin/meterJson.h"

#include <cerrno>
#include <cstdlib>

#include "host/output/jsonOutput.h"
#include "host/plugin/meterTable.h"

namespace {

// A meter's text as JSON: a whole number as an integer, another number as
// one with a fraction, anything else as the text.
JsonDocument meterValue(const char *text)
{
    char *end = nullptr;
    errno = 0;
    const long long whole = std::strtoll(text, &end, 10);
    if (end != text && *end == '\0' && errno == 0)
        return whole;
    const double number = std::strtod(text, &end);
    if (end != text && *end == '\0')
        return number;
    return jsonText(text);
}

} // namespace

void printPluginJson(const Plugin &plugin, const std::vector<MeterInfo> &meters)
{
    static const char *const keys[] = {"name", "author", "version", "created", "updated", "requires", "contact"};
    JsonDocument show;
    for (unsigned i = 0; i < 7; ++i)
        show[keys[i]] = jsonText(plugin.getinfo(i));
    show["type"] = plugin.dlltype();
    JsonDocument &list = show["meters"] = JsonDocument::array();
    char buffer[64];
    for (const MeterInfo &m : meters) {
        JsonDocument readings = JsonDocument::array();
        for (int i = m.low; i <= m.high; ++i) {
            const char *text = readMeterText(m, i, buffer);
            if (text != buffer)
                readings.push_back({{"index", i}, {"error", jsonText(text)}});
            else
                readings.push_back({{"index", i}, {"value", meterValue(text)}});
        }
        list.push_back({{"function", jsonText(m.name)}, {"prompt", jsonText(m.prompt)}, {"readings", readings}});
    }
    printJsonLine(show);
}
