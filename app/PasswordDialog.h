#pragma once
// The password dialog (resource 130) of encrypted payloads, and the check of
// the typed password against the payload's verifier.

#include "platform/win32.h"

// Dialog procedure of the password dialog:
// - WM_INITDIALOG: centres the dialog; TRUE.
// - WM_COMMAND OK: the typed text (up to 499 characters) becomes the
//   application's password; ends the dialog with IDOK; TRUE.
// - WM_COMMAND Cancel: empties the password; ends the dialog with IDCANCEL;
//   FALSE.
// - WM_SYSCOMMAND SC_CLOSE (Alt+F4, the close box): ends the dialog with
//   SC_CLOSE, the password unchanged (still empty); TRUE.
// - anything else: FALSE.
INT_PTR CALLBACK passwordDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Shows the password dialog over window, then checks the password: false
// without a message when it is empty (cancelled, closed or left blank);
// false after the message box "Incorrect password." (caption "Error") when
// the payload's verifier rejects it; true when it is accepted, the payload
// reader then being set up to decipher the entries. The verifier is read at
// most once, so this is called at most once per process.
bool askPassword(HWND window);
