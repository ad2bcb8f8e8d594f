// The configuration dialog: shows the stored device number and refresh rate,
// lets the user change them with the two spin buttons, checks them and
// stores them. The device number goes straight into the module-wide
// deviceNumber, so the poller picks it up at its next cycle; the refresh rate
// is only stored and applies to a poller started later.
//
// The two spin buttons are of the up-down class of the common-controls
// library. The plug-in neither loads nor initialises that library: on Windows
// Vista and later (as under Wine) user32 loads it by itself when a dialog
// template names one of its classes. Only if it cannot be loaded does
// DialogBoxParamA fail, and configure reports "CreateDialog" in the error box.
#include "settings/configDialog.h"

#include "core/valueFormat.h"
#include "settings/configDialogIds.h"
#include "settings/errorBox.h"
#include "settings/settingsStore.h"
#include "state/moduleState.h"

namespace {

void setNumberText(HWND dialog, int control, int32_t value)
{
    char text[kMaxValueText];
    formatDecimal(text, value); // what "%d" writes
    SetDlgItemTextA(dialog, control, text);
}

BOOL onInitDialog(HWND dialog)
{
    // Shown when nothing is stored yet. A failed load sets lastError but shows
    // no box: the dialog is where the user fixes the settings.
    int32_t refreshRate = 5;
    loadSettings(nullptr, &deviceNumber, &refreshRate);
    setNumberText(dialog, deviceIdEdit, deviceNumber.load());
    setNumberText(dialog, refreshRateEdit, refreshRate);
    return TRUE; // focus to the first tab stop, the OK button
}

BOOL onOk(HWND dialog)
{
    // The device number takes effect at once, before anything is checked,
    // even if the user later cancels.
    BOOL isNumber = FALSE;
    const UINT device = GetDlgItemInt(dialog, deviceIdEdit, &isNumber, FALSE);
    deviceNumber.store(static_cast<int32_t>(device));
    if (!isNumber) {
        showApiError(hostWindow.load(), "Read devise ID", 0);
        return TRUE;
    }

    const UINT rate = GetDlgItemInt(dialog, refreshRateEdit, &isNumber, FALSE);
    if (!isNumber) {
        showApiError(hostWindow.load(), "Read refresh rate", 0);
        return TRUE;
    }
    const int32_t refreshRate = static_cast<int32_t>(rate);
    if (refreshRate <= 0) {
        MessageBoxA(dialog, "The refresh rate must be > 0.", "Error", MB_OK);
        return TRUE;
    }

    // A failed save has set lastError and shown its box over the dialog,
    // which stays open for another try.
    if (saveSettings(dialog, deviceNumber.load(), refreshRate) == 0)
        EndDialog(dialog, 1);
    return TRUE;
}

} // namespace

INT_PTR CALLBACK configDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM /*lParam*/)
{
    switch (message) {
    case WM_INITDIALOG:
        return onInitDialog(dialog);
    case WM_COMMAND:
        // Only the command id counts; the notification code is not looked at.
        switch (LOWORD(wParam)) {
        case IDOK:
            return onOk(dialog);
        case IDCANCEL:
            // Nothing is restored: a number an earlier OK stored stays.
            EndDialog(dialog, 1);
            return TRUE;
        default:
            return FALSE;
        }
    default:
        return FALSE;
    }
}

int runConfigDialog()
{
    const INT_PTR result =
        DialogBoxParamA(moduleInstance, MAKEINTRESOURCEA(configDialogTemplate), hostWindow.load(), configDialogProc, 0);
    if (result == -1)
        showApiError(hostWindow.load(), "CreateDialog", 0);
    return 0;
}
