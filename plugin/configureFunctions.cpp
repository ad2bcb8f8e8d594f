// The host's two ways into the configuration dialog (settings/configDialog).
// The dialog stays open as long as its user wants, so it counts itself inside
// as a dialog: an unload that finds it open keeps the module loaded rather
// than wait for it (docs/lifecycle.md, "Calls under way").
#include "plugin/exports.h"
#include "settings/configDialog.h"
#include "state/callsInside.h"

extern "C" {

int WINAPI configure()
{
    const CallInside counted(CallInside::kDialog);
    return runConfigDialog();
}

int WINAPI source_configure(int /*a*/, int /*b*/)
{
    const CallInside counted(CallInside::kDialog);
    return runConfigDialog();
}

} // extern "C"
