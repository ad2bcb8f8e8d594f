// The seven meter functions the host reads. Each formats one value of the
// last complete status frame, or returns a range message or the pending error
// text; none of them touches the device or waits for the poller.
#include "core/meterCore.h"
#include "plugin/exports.h"
#include "state/moduleState.h"

extern "C" {

const char *WINAPI GetDigitalTemp(char *out, const char *sensor)
{
    return readMeter(Meter::DigitalTemp, out, sensor, lastError, statusFrame);
}

const char *WINAPI GetAnalogTemp(char *out, const char *sensor)
{
    return readMeter(Meter::AnalogTemp, out, sensor, lastError, statusFrame);
}

const char *WINAPI GetFanRPM(char *out, const char *fan)
{
    return readMeter(Meter::FanRpm, out, fan, lastError, statusFrame);
}

const char *WINAPI GetFanPercentage(char *out, const char *fan)
{
    return readMeter(Meter::FanPercentage, out, fan, lastError, statusFrame);
}

const char *WINAPI GetFanMaxRPM(char *out, const char *fan)
{
    return readMeter(Meter::FanMaxRpm, out, fan, lastError, statusFrame);
}

const char *WINAPI GetFanManualMode(char *out, const char *fan)
{
    return readMeter(Meter::FanManualMode, out, fan, lastError, statusFrame);
}

const char *WINAPI GetValue(char *out, const char *number)
{
    return readMeter(Meter::Value, out, number, lastError, statusFrame);
}

} // extern "C"
