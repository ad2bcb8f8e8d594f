#include "host/output/readingJson.h"

void addReadingJson(JsonDocument &object, const Reading &reading)
{
    if (!reading.error.empty()) {
        object["error"] = jsonText(reading.error);
        return;
    }
    object["error"] = nullptr;
    auto temperatures = [](const double *celsius, int count) {
        JsonDocument list = JsonDocument::array();
        for (int i = 0; i < count; ++i)
            list.push_back({{"sensor", i}, {"celsius", celsius[i]}});
        return list;
    };
    object["digitalTemp"] = temperatures(reading.digitalCelsius, kDigitalSensorCount);
    object["analogTemp"] = temperatures(reading.analogCelsius, kAnalogSensorCount);
    JsonDocument &fans = object["fans"] = JsonDocument::array();
    for (int fan = 0; fan < kFanCount; ++fan)
        fans.push_back({{"fan", fan},
                        {"dutyPercent", reading.dutyPercent[fan]},
                        {"rpm", reading.rpm[fan]},
                        {"maxRpm", reading.maxRpm[fan]},
                        {"manual", reading.manual[fan]}});
}
