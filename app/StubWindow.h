#pragma once
// The stub's hidden main window and the start-up decision between a silent
// run and the main dialog.

#include "app/InstallerOptions.h"
#include "platform/win32.h"

// Registers the hidden window's class (class name from the string table).
// The result is not used: a failure shows up when the window is created.
void registerWindowClass(HINSTANCE instance);

// Creates the hidden window, loads the configuration, carries out the
// installer's own options (app/InstallerOptionRun.h) and either runs the
// extraction silently or shows the main dialog. Returns 0 when the process
// is to end at once (the hidden window or the main dialog could not be
// created, the silent run or an option run is over), 1 when the message
// loop is to run.
int initInstance(HINSTANCE instance, const InstallerOptions& options);

// Window procedure of the hidden window: WM_DESTROY posts WM_QUIT (code 0),
// WM_PAINT paints nothing, command 105 destroys the window.
LRESULT CALLBACK hiddenWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
