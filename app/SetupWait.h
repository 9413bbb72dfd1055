#pragma once
// Waiting for the setup program's process to end.

#include "platform/win32.h"

// Waits until the process has ended. Without a window the thread simply
// blocks. With the main dialog as window the thread's messages are
// dispatched meanwhile, so that the dialog keeps being drawn and its Close
// button keeps working: a WM_QUIT (the dialog was closed) ends the wait early
// and is posted again for the message loop. True when the process has
// ended; false when the wait was given up or failed.
bool waitForProcess(HWND window, HANDLE process);
