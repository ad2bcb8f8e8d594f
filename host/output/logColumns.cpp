#include "host/output/logColumns.h"

#include "core/statusFrame.h"

namespace {

const struct {
    FanColumn kind;
    const char *suffix;
} kFanSuffixes[] = {
    {FanColumn::Duty, "_duty"},     {FanColumn::Rpm, "_rpm"},       {FanColumn::MaxRpm, "_max_rpm"},
    {FanColumn::Manual, "_manual"}, {FanColumn::Target, "_target"}, {FanColumn::Sent, "_sent"},
    {FanColumn::Reason, "_reason"},
};

} // namespace

std::string fanColumn(int fan, FanColumn kind)
{
    for (const auto &entry : kFanSuffixes) {
        if (entry.kind == kind)
            return "fan" + std::to_string(fan) + entry.suffix;
    }
    return "fan" + std::to_string(fan); // not reached: every kind has its suffix
}

bool parseFanColumn(const std::string &column, int &fan, FanColumn &kind)
{
    for (int f = 0; f < kFanCount; ++f) {
        for (const auto &entry : kFanSuffixes) {
            if (column == fanColumn(f, entry.kind)) {
                fan = f;
                kind = entry.kind;
                return true;
            }
        }
    }
    return false;
}
