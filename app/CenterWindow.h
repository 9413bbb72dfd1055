#pragma once
// Centring of the stub's dialogs on the desktop.

#include "platform/win32.h"

// Moves window (keeping its size, placing it at the top of the stacking
// order) so that it sits in the middle of the desktop window's rectangle.
void centerWindow(HWND window);

// Where centerWindow puts the top-left corner of a window of rectangle
// window on a desktop of rectangle desktop: desktop left + (W - w) / 2 and
// desktop top + (H - h) / 2, each division truncating toward zero (so a
// window larger than the desktop sticks out equally on both sides, give or
// take the truncated half pixel).
POINT centeredTopLeft(const RECT& desktop, const RECT& window);
