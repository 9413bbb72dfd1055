#pragma once
// How the stub shows an error: a message box (caption "Error", MB_OK) over
// the given owner, or, in an option run that has a console, a line on
// standard error ("Error: " and the text), so that a scripted run is never
// held by a box nobody will click.

#include "platform/win32.h"

class ConsoleOutput;

// Shows text as said above.
void showError(HWND owner, const char* text);

// Errors go to this console from now on (when it has streams); null gives
// the message boxes back. Borrowed.
void sendErrorsTo(ConsoleOutput* console);
