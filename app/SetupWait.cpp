#include "app/SetupWait.h"

namespace {

// The one handle waited for; MsgWaitForMultipleObjects answers
// WAIT_OBJECT_0 + kHandleCount when a message arrived instead.
constexpr DWORD kHandleCount = 1;

// Dispatches every waiting message. False when it was WM_QUIT.
bool dispatchWaitingMessages(HWND window) {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(message.wParam));
            return false;
        }
        // Tab, Enter and Esc of the dialog, as its modal loop handles them.
        if (IsDialogMessageA(window, &message)) continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return true;
}

}  // namespace

bool waitForProcess(HWND window, HANDLE process) {
    if (window == nullptr) return WaitForSingleObject(process, INFINITE) == WAIT_OBJECT_0;
    for (;;) {
        const DWORD woken = MsgWaitForMultipleObjects(kHandleCount, &process, FALSE, INFINITE, QS_ALLINPUT);
        if (woken == WAIT_OBJECT_0) return true;
        if (woken != WAIT_OBJECT_0 + kHandleCount) return false;
        if (!dispatchWaitingMessages(window)) return false;
    }
}
