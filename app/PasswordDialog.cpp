#include "app/PasswordDialog.h"

#include "app/CenterWindow.h"
#include "app/ErrorReport.h"
#include "app/StubGlobals.h"
#include "core/SecretWipe.h"
#include "resources/StubResources.h"

namespace {

// The typed password is read into a buffer of this many characters.
constexpr int kPasswordChars = 500;
constexpr char kIncorrectPasswordMessage[] = STUB_TEXT_INCORRECT_PASSWORD;

INT_PTR onOk(HWND dialog) {
    char typed[kPasswordChars] = {0};
    GetDlgItemTextA(dialog, IDC_PASSWORD_EDIT, typed, kPasswordChars);
    g_saApp.m_password.setString(typed);
    wipeSecretBytes(typed, sizeof typed);
    EndDialog(dialog, IDC_OK_BUTTON);
    return TRUE;
}

INT_PTR onCancel(HWND dialog) {
    g_saApp.m_password.clear();
    EndDialog(dialog, IDC_CANCEL_BUTTON);
    return FALSE;
}

INT_PTR onCommand(HWND dialog, WORD command) {
    switch (command) {
        case IDC_OK_BUTTON: return onOk(dialog);
        case IDC_CANCEL_BUTTON: return onCancel(dialog);
        default: return FALSE;
    }
}

// Alt+F4 or the close box: like Cancel for the run, the password having
// never been set.
INT_PTR onSysCommand(HWND dialog, WPARAM command) {
    if (command != SC_CLOSE) return FALSE;
    EndDialog(dialog, SC_CLOSE);
    return TRUE;
}

}  // namespace

INT_PTR CALLBACK passwordDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    (void)lParam;
    switch (message) {
        case WM_INITDIALOG: centerWindow(dialog); return TRUE;
        case WM_COMMAND: return onCommand(dialog, LOWORD(wParam));
        case WM_SYSCOMMAND: return onSysCommand(dialog, wParam);
        default: return FALSE;
    }
}

bool askPassword(HWND window) {
    DialogBoxParamA(g_instance, MAKEINTRESOURCEA(IDD_PASSWORD_DIALOG), window, passwordDialogProc, 0);
    // Cancelled, closed or left blank: nothing is tried against the verifier.
    if (g_saApp.m_password.getSize() == 0) return false;
    g_archive.usePassword(g_saApp.m_password.getString());
    const bool accepted = g_archive.verifyPassword();
    // The reader has its key now; the typed text is not needed again (the
    // dialog is shown at most once).
    g_saApp.forgetPassword();
    if (accepted) return true;
    showError(window, kIncorrectPasswordMessage);
    return false;
}
