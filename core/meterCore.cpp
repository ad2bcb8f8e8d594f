#include "core/meterCore.h"

#include "core/textToLong.h"
#include "core/valueFormat.h"

const char kInvalidSensorIndex[] = "Invalid sensor index";
const char kInvalidFanIndex[] = "Invalid fan index";
const char kInvalidValueIndex[] = "Invalid value index";
const char kNoOutputBuffer[] = "No output buffer";

namespace {

struct IndexRange {
    int32_t low;
    int32_t high;
    const char *message;
};

IndexRange rangeOf(Meter meter)
{
    switch (meter) {
    case Meter::DigitalTemp:
        return {0, kDigitalSensorCount - 1, kInvalidSensorIndex};
    case Meter::AnalogTemp:
        return {0, kAnalogSensorCount - 1, kInvalidSensorIndex};
    case Meter::Value:
        return {1, kStatusFrameSize, kInvalidValueIndex};
    default:
        return {0, kFanCount - 1, kInvalidFanIndex};
    }
}

} // namespace

const char *readMeter(Meter meter, char *out, const char *parameter, const std::atomic<const char *> &lastError,
                      const StatusLatch &status)
{
    const int32_t index = textToLong(parameter);
    const IndexRange range = rangeOf(meter);
    if (index < range.low || index > range.high)
        return range.message;

    const char *error = lastError.load(std::memory_order_acquire);
    if (error != nullptr)
        return error;
    if (out == nullptr)
        return kNoOutputBuffer;

    switch (meter) {
    case Meter::DigitalTemp:
        formatHalfDegrees(out, status.byteAt(kDigitalTempOffset + index));
        break;
    case Meter::AnalogTemp:
        formatHalfDegrees(out, status.byteAt(kAnalogTempOffset + index));
        break;
    case Meter::FanPercentage:
        formatDecimal(out, 2 * status.byteAt(kFanDutyOffset + index));
        break;
    case Meter::FanRpm:
        formatDecimal(out, status.read([index](const StatusLatch::Copy &c) {
            return fanRpmFromDuty(c.byteAt(kFanDutyOffset + index), c.maxRpm(index));
        }));
        break;
    case Meter::FanMaxRpm:
        formatDecimal(out, status.maxRpm(index));
        break;
    case Meter::FanManualMode:
        formatDecimal(out, status.byteAt(kManualModeOffset + index));
        break;
    case Meter::Value:
        formatDecimal(out, status.byteAt(index - 1));
        break;
    }
    return out;
}
