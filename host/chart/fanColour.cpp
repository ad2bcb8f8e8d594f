#include "host/chart/fanColour.h"

#include "core/statusFrame.h"

const char *fanColour(int fan)
{
    // Far apart in hue, and none of them the grey of an unknown fan.
    static const char *const colours[kFanCount] = {"#e6007e", "#0050ff", "#00a651", "#ff3000"};
    return fan >= 0 && fan < kFanCount ? colours[fan] : "#777777";
}
