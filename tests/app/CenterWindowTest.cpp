// Where centerWindow puts a dialog: the middle of the desktop, each half of
// the difference truncated toward zero.

#include "app/CenterWindow.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include "platform/posix/PosixDialogs.h"
#include "resources/StubResources.h"
#include "tests/app/DialogTestSupport.h"
#endif

namespace {

TEST(CenterWindow, TopLeftIsTheDesktopCornerPlusHalfTheDifference) {
    struct Case {
        const char* label;
        RECT desktop;
        RECT window;
        LONG x;
        LONG y;
    };
    const Case cases[] = {
        {"even differences", {0, 0, 1024, 768}, {0, 0, 482, 154}, 271, 307},
        {"odd differences truncate", {0, 0, 1024, 768}, {0, 0, 483, 153}, 270, 307},
        {"only the window's size counts", {0, 0, 1024, 768}, {500, 400, 982, 553}, 271, 307},
        {"a desktop that does not start at 0", {100, 50, 1124, 818}, {0, 0, 482, 154}, 371, 357},
        // (800 - 1001) / 2 is -100.5: truncated toward zero, not down to -101.
        {"a window larger than the desktop", {0, 0, 800, 600}, {0, 0, 1001, 603}, -100, -1},
        {"a window as large as the desktop", {0, 0, 800, 600}, {7, 9, 807, 609}, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const POINT topLeft = centeredTopLeft(c.desktop, c.window);
        EXPECT_EQ(topLeft.x, c.x);
        EXPECT_EQ(topLeft.y, c.y);
    }
}

#ifndef _WIN32

RECT g_placed{};

INT_PTR CALLBACK centringProc(HWND dialog, UINT message, WPARAM, LPARAM) {
    if (message != WM_INITDIALOG) return FALSE;
    centerWindow(dialog);
    GetWindowRect(dialog, &g_placed);
    EndDialog(dialog, IDOK);
    return TRUE;
}

// The main dialog, 321 x 94 dialog units (482 x 153 pixels at the layer's
// font cell), on the layer's 1024 x 768 desktop.
TEST(CenterWindow, MovesALiveDialogKeepingItsSize) {
    dialog_test::ScriptedTerminal terminal("");
    ASSERT_EQ(DialogBoxParamA(nullptr, MAKEINTRESOURCEA(IDD_MAIN_DIALOG), nullptr, centringProc, 0), IDOK);
    EXPECT_EQ(g_placed.left, (1024 - 482) / 2);
    EXPECT_EQ(g_placed.top, (768 - 153) / 2);
    EXPECT_EQ(g_placed.right - g_placed.left, 482);
    EXPECT_EQ(g_placed.bottom - g_placed.top, 153);
}

#endif  // _WIN32

}  // namespace
