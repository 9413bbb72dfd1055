#include "app/CenterWindow.h"

namespace {

LONG widthOf(const RECT& rect) { return rect.right - rect.left; }
LONG heightOf(const RECT& rect) { return rect.bottom - rect.top; }

}  // namespace

POINT centeredTopLeft(const RECT& desktop, const RECT& window) {
    POINT topLeft;
    // Integer division in C++ truncates toward zero, also for a window wider
    // or taller than the desktop (a negative difference).
    topLeft.x = desktop.left + (widthOf(desktop) - widthOf(window)) / 2;
    topLeft.y = desktop.top + (heightOf(desktop) - heightOf(window)) / 2;
    return topLeft;
}

void centerWindow(HWND window) {
    RECT desktop;
    RECT windowRect;
    GetWindowRect(GetDesktopWindow(), &desktop);
    GetWindowRect(window, &windowRect);
    const POINT topLeft = centeredTopLeft(desktop, windowRect);
    SetWindowPos(window, HWND_TOP, topLeft.x, topLeft.y, 0, 0, SWP_NOSIZE);
}
