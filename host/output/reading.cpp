#include "host/output/reading.h"

void readingFromFrame(const uint8_t *frame, Reading &out)
{
    out = Reading();
    for (int i = 0; i < kDigitalSensorCount; ++i)
        out.digitalCelsius[i] = frameByte(frame, kDigitalTempOffset + i) * 0.5;
    for (int i = 0; i < kAnalogSensorCount; ++i)
        out.analogCelsius[i] = frameByte(frame, kAnalogTempOffset + i) * 0.5;
    int32_t maxRpm[kFanCount];
    deriveMaxRpm(frame, maxRpm);
    for (int fan = 0; fan < kFanCount; ++fan) {
        const int8_t dutyByte = frameByte(frame, kFanDutyOffset + fan);
        out.dutyPercent[fan] = 2 * dutyByte;
        out.maxRpm[fan] = maxRpm[fan];
        out.rpm[fan] = fanRpmFromDuty(dutyByte, maxRpm[fan]); // as GetFanRPM computes it
        out.manual[fan] = frameByte(frame, kManualModeOffset + fan);
    }
}
