#pragma once
// The main dialog (resource 129): the destination folder with its Browse
// button, Unzip, Close and the progress bar.

#include "platform/win32.h"

// Dialog procedure of the main dialog. Returns TRUE for the messages it
// handles, FALSE for the others:
// - WM_INITDIALOG: shows the destination folder (the configured unzipDir as
//   stored; else the current directory; else, with unzipToTemp, a generated
//   temporary folder, which becomes the configured one), the appTitle and
//   appCaption settings when set, centres the dialog and hands it to the
//   progress display.
// - WM_COMMAND Close (IDCANCEL, also Esc): ends the dialog with IDCANCEL and
//   the message loop with WM_QUIT 0.
// - WM_COMMAND Browse: lets the user pick a folder into the field.
// - WM_COMMAND Unzip: takes the field as the destination, runs the
//   extraction, then shows "Finished!" and a full progress bar.
// - WM_SYSCOMMAND SC_CLOSE: ends the dialog with SC_CLOSE and the message loop.
INT_PTR CALLBACK mainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
