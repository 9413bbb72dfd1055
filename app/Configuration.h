#pragma once
// Loading the payload's configuration at start-up.

#include "platform/win32.h"

// Opens the stub's own executable, attaches it to the payload reader for the
// rest of the process, records its size for the progress display, finds the
// payload, reads its header and settings and copies the settings into the
// application state. Each failure is shown in a message box (caption
// "Error", owner the given window) and returns false; the settings read by
// then stay, the others stay empty.
bool loadConfiguration(HWND owner);
