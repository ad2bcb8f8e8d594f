#include "state/callsInside.h"

namespace {

std::atomic<long> inside{0};
std::atomic<long> dialogs{0};

} // namespace

CallInside::CallInside(Kind kind) : kind_(kind)
{
    // In before the dialog count, out after it: `inside` never counts fewer
    // dialogs than `dialogs` does.
    inside.fetch_add(1);
    if (kind_ == kDialog)
        dialogs.fetch_add(1);
}

CallInside::~CallInside()
{
    if (kind_ == kDialog)
        dialogs.fetch_sub(1);
    inside.fetch_sub(1);
}

long callsInside()
{
    return inside.load();
}

long boundedCallsInside()
{
    // `inside` first: a dialog that leaves in between then shows as bounded
    // for one more look, never the other way round.
    const long all = inside.load();
    return all - dialogs.load();
}
