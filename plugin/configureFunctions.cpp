// The host's two ways into the configuration dialog (settings/configDialog).
#include "plugin/exports.h"
#include "settings/configDialog.h"

extern "C" {

int WINAPI configure()
{
    return runConfigDialog();
}

int WINAPI source_configure(int /*a*/, int /*b*/)
{
    return runConfigDialog();
}

} // extern "C"
