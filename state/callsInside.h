// The host's calls that can wait inside the plug-in (openConnection,
// readFromVorn, SetFanPercentage, the configuration dialog), each counted
// from its entry to its result, so that an unload knows whether any is still
// inside. docs/lifecycle.md, "Calls under way", tells how the unload uses
// the count.
#pragma once

#include <atomic>

// Counts one call for as long as it lives; declared first thing in an
// export, so that the count-out is the last work the export does before its
// return to the host. Nothing may follow it: a call made after the
// count-out would return into the module after the unload had seen it gone.
class CallInside {
public:
    // A dialog waits for its user, not for a bound of its own: the unload
    // does not wait for it.
    enum Kind {
        kBounded,
        kDialog
    };

    explicit CallInside(Kind kind = kBounded);
    ~CallInside();
    CallInside(const CallInside &) = delete;
    CallInside &operator=(const CallInside &) = delete;

private:
    const Kind kind_;
};

// The calls inside now, dialogs included.
long callsInside();

// The calls inside now that end within a bound of their own (all but the
// dialogs); a dialog that is leaving may still count here for a moment.
long boundedCallsInside();
