#include "app/StubWindow.h"

#include <cstring>

#include "app/Configuration.h"
#include "app/ExtractionRun.h"
#include "app/InstallerOptionRun.h"
#include "app/MainDialog.h"
#include "app/StubGlobals.h"
#include "resources/StubResources.h"

void registerWindowClass(HINSTANCE instance) {
    WNDCLASSEXA windowClass;
    std::memset(&windowClass, 0, sizeof windowClass);
    windowClass.cbSize = sizeof(WNDCLASSEXA);
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = hiddenWindowProc;
    windowClass.cbClsExtra = 0;
    windowClass.cbWndExtra = 0;
    windowClass.hInstance = instance;
    windowClass.hIcon = nullptr;
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW + 1));
    // The executable has no menu of this id, so the window gets none.
    windowClass.lpszMenuName = MAKEINTRESOURCEA(IDS_WINDOW_CLASS);
    windowClass.lpszClassName = g_windowClassName;
    windowClass.hIconSm = nullptr;
    RegisterClassExA(&windowClass);
}

namespace {

// DialogBoxParamA's result when the dialog could not be created.
constexpr INT_PTR kDialogCreationFailed = -1;

HWND createHiddenWindow(HINSTANCE instance) {
    return CreateWindowExA(0,                  // no extended style
                           g_windowClassName,  // registered above
                           g_windowTitle,      //
                           WS_POPUP,           // never shown
                           CW_USEDEFAULT, 0,   // x, y
                           CW_USEDEFAULT, 0,   // width, height
                           nullptr,            // no parent
                           nullptr,            // no menu
                           instance,           //
                           nullptr);           // no creation parameter
}

}  // namespace

int initInstance(HINSTANCE instance, const InstallerOptions& options) {
    g_instance = instance;
    HWND hiddenWindow = createHiddenWindow(instance);
    if (hiddenWindow == nullptr) return 0;

    InstallerOptionRun optionRun(options);
    optionRun.prepare();
    // A configuration failure has been shown already; start-up goes on with
    // the settings read by then (none), which leads to the main dialog.
    const bool configured = loadConfiguration(hiddenWindow);
    if (optionRun.takeOver(hiddenWindow, configured)) return 0;

    if (g_saApp.runsSilently()) {
        const ExtractionOutcome outcome = runExtraction(nullptr);
        g_saApp.m_silentRunIncomplete = outcome == ExtractionOutcome::Incomplete;
        g_saApp.m_setupNotStarted = outcome == ExtractionOutcome::SetupNotStarted;
        optionRun.reportSilentRun(outcome);
        return 0;
    }
    // The dialog ends the message loop when it closes. When it cannot even be
    // created (-1), nothing would ever end the loop of the hidden window:
    // end the process instead, as when that window cannot be created.
    const INT_PTR result =
        DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_MAIN_DIALOG), hiddenWindow, mainDialogProc, 0);
    if (result == kDialogCreationFailed) return 0;
    return 1;
}

LRESULT CALLBACK hiddenWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_DESTROY: PostQuitMessage(0); return 0;
        case WM_PAINT: {
            PAINTSTRUCT paint;
            BeginPaint(window, &paint);
            EndPaint(window, &paint);
            return 0;
        }
        case WM_COMMAND:
            if (LOWORD(wParam) == IDM_EXIT) {
                DestroyWindow(window);
                return 0;
            }
            break;
        default: break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}
