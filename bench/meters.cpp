#include "bench/meters.h"

#include <cstdio>

#include "core/statusFrame.h"
#include "plugin/exports.h"

namespace {

int32_t signedByte(const uint8_t *frame, int offset)
{
    return static_cast<int8_t>(frame[offset]);
}

int32_t digitalTemp(const uint8_t *frame, const int32_t *, int i)
{
    return signedByte(frame, kDigitalTempOffset + i);
}
int32_t analogTemp(const uint8_t *frame, const int32_t *, int i)
{
    return signedByte(frame, kAnalogTempOffset + i);
}
int32_t fanRpm(const uint8_t *frame, const int32_t *maxRpm, int i)
{
    const int64_t product = static_cast<int64_t>(2 * signedByte(frame, kFanDutyOffset + i)) * maxRpm[i];
    return static_cast<int32_t>(static_cast<double>(product) * 0.01);
}
int32_t fanPercentage(const uint8_t *frame, const int32_t *, int i)
{
    return 2 * signedByte(frame, kFanDutyOffset + i);
}
int32_t fanMaxRpm(const uint8_t *, const int32_t *maxRpm, int i)
{
    return maxRpm[i];
}
int32_t fanManualMode(const uint8_t *frame, const int32_t *, int i)
{
    return signedByte(frame, kManualModeOffset + i);
}
int32_t frameValue(const uint8_t *frame, const int32_t *, int i)
{
    return signedByte(frame, i - 1);
}

struct ParameterTexts {
    char text[kStatusFrameSize + 1][4];
    ParameterTexts()
    {
        for (int i = 0; i <= kStatusFrameSize; ++i)
            std::snprintf(text[i], sizeof text[i], "%d", i);
    }
};

const ParameterTexts parameterTexts;

} // namespace

const BenchMeter kMeters[kMeterCount] = {
    {"GetDigitalTemp", GetDigitalTemp, true, 0, kDigitalSensorCount - 1, digitalTemp},
    {"GetAnalogTemp", GetAnalogTemp, true, 0, kAnalogSensorCount - 1, analogTemp},
    {"GetFanRPM", GetFanRPM, false, 0, kFanCount - 1, fanRpm},
    {"GetFanPercentage", GetFanPercentage, false, 0, kFanCount - 1, fanPercentage},
    {"GetFanMaxRPM", GetFanMaxRPM, false, 0, kFanCount - 1, fanMaxRpm},
    {"GetFanManualMode", GetFanManualMode, false, 0, kFanCount - 1, fanManualMode},
    {"GetValue", GetValue, false, 1, kStatusFrameSize, frameValue},
};

const char *parameterText(int index)
{
    return index >= 0 && index <= kStatusFrameSize ? parameterTexts.text[index] : "";
}

void referenceText(const BenchMeter &meter, int32_t value, char *out, size_t size)
{
    if (meter.halfDegrees)
        std::snprintf(out, size, "%4.1f", value * 0.5);
    else
        std::snprintf(out, size, "%d", static_cast<int>(value));
}
