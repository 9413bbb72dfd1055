// Modal dialogs and their controls, rendered in the terminal: DialogBoxParamA
// with EndDialog, the control calls (GetDlgItem, Get/SetDlgItemTextA,
// SetWindowTextA, EnableWindow, SendMessageA with the progress bar's
// messages) and the window geometry the dialogs use for centring
// (GetDesktopWindow, GetWindowRect, CopyRect, OffsetRect, SetWindowPos).
#include <strings.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "platform/posix/PosixDialogs.h"
#include "platform/posix/PosixLayer.h"

namespace {

using posix_layer::ControlKind;
using posix_layer::ControlTemplate;
using posix_layer::DialogTemplate;
using posix_layer::LineResult;
using posix_layer::WindowRecord;

// GetDlgItem's error for an id no control of the dialog has.
constexpr DWORD kErrorControlIdNotFound = 1421;
// Class names Windows gives the dialog and desktop windows.
constexpr char kDialogClass[] = "#32770";
constexpr char kDesktopClass[] = "#32769";
constexpr char kProgressClass[] = "msctls_progress32";
constexpr DWORD kDialogStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT;
// The notification code of a clicked button (high word of WM_COMMAND).
constexpr WORD kButtonClicked = 0;
// DialogBoxParamA's answer when the dialog could not be created.
constexpr INT_PTR kDialogFailed = -1;
// A line holding only the Esc key cancels a dialog whose lines are answers.
constexpr char kEscapeLine[] = "\x1b";
constexpr char kCancelKey[] = "q";
constexpr char kEscapeName[] = "Esc";

struct DialogState {
    const DialogTemplate* dialogTemplate = nullptr;
    DLGPROC procedure = nullptr;
    std::vector<HWND> controls;  // in template order
    bool ended = false;
    INT_PTR result = 0;
};

struct ProgressState {
    int position = 0;
    int rangeMin = 0;
    int rangeMax = 100;
    int step = 10;
};

struct DialogsState {
    std::map<uintptr_t, DialogState> dialogs;
    std::map<uintptr_t, RECT> rectangles;
    std::map<uintptr_t, ProgressState> progressBars;
    HWND desktop = nullptr;
};

DialogsState& state() {
    static auto* dialogsState = new DialogsState();
    return *dialogsState;
}

uintptr_t key(HWND window) { return reinterpret_cast<uintptr_t>(window); }

DialogState* findDialog(HWND window) {
    auto found = state().dialogs.find(key(window));
    return found == state().dialogs.end() ? nullptr : &found->second;
}

// Messages posted or sent to a dialog's window reach its dialog procedure.
LRESULT CALLBACK dialogWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    DialogState* dialog = findDialog(window);
    if (dialog == nullptr || dialog->procedure == nullptr) return 0;
    return dialog->procedure(window, message, wParam, lParam);
}

bool isProgressBar(const WindowRecord& window) {
    return ::strcasecmp(window.className.c_str(), kProgressClass) == 0;
}

// --- Creating and destroying a dialog -----------------------------------------

RECT ownerOrigin(HWND owner) {
    RECT origin{};
    posix_layer::windowRectangle(owner, origin);
    return origin;
}

HWND createControl(HWND dialog, const RECT& dialogRect, const ControlTemplate& control) {
    WindowRecord record;
    record.className = control.className;
    record.text = control.text;
    record.parent = dialog;
    record.style = WS_CHILD | WS_VISIBLE;
    record.controlId = control.id;
    HWND window = posix_layer::newWindow(record);

    RECT rect = posix_layer::unitsToPixels(control.box);
    OffsetRect(&rect, dialogRect.left, dialogRect.top);
    posix_layer::setWindowRectangle(window, rect);
    if (control.kind == ControlKind::ProgressBar) state().progressBars[key(window)] = ProgressState{};
    return window;
}

HWND createDialog(const DialogTemplate& dialogTemplate, HWND owner, DLGPROC procedure) {
    WindowRecord record;
    record.procedure = dialogWindowProc;
    record.className = kDialogClass;
    record.text = dialogTemplate.caption;
    record.parent = owner;
    record.style = kDialogStyle;
    HWND window = posix_layer::newWindow(record);

    RECT rect = posix_layer::unitsToPixels(dialogTemplate.box);
    const RECT origin = ownerOrigin(owner);
    OffsetRect(&rect, origin.left, origin.top);
    posix_layer::setWindowRectangle(window, rect);

    DialogState dialog;
    dialog.dialogTemplate = &dialogTemplate;
    dialog.procedure = procedure;
    for (const ControlTemplate& control : dialogTemplate.controls) {
        dialog.controls.push_back(createControl(window, rect, control));
    }
    state().dialogs[key(window)] = dialog;
    return window;
}

void forgetGeometry(HWND window) {
    state().rectangles.erase(key(window));
    state().progressBars.erase(key(window));
}

void destroyDialog(HWND window) {
    DialogState* dialog = findDialog(window);
    if (dialog == nullptr) return;
    for (HWND control : dialog->controls) {
        forgetGeometry(control);
        posix_layer::forgetWindow(control);
    }
    forgetGeometry(window);
    state().dialogs.erase(key(window));
    posix_layer::forgetWindow(window);
}

// --- What the user sees --------------------------------------------------------

const ControlTemplate* defaultButton(const DialogTemplate& dialogTemplate) {
    for (const ControlTemplate& control : dialogTemplate.controls) {
        if (control.kind == ControlKind::DefaultButton) return &control;
    }
    return nullptr;
}

// The key that presses a button on the terminal: Enter for the default
// button; for the cancel button Esc where every line is an answer (the
// password), else "q"; for the others the first letter of their text in
// lower case ("b" for Browse).
std::string buttonKey(const DialogTemplate& dialogTemplate, const ControlTemplate& control) {
    if (control.kind == ControlKind::DefaultButton) return "";
    if (control.id == IDCANCEL) return dialogTemplate.answer.lineSubmits ? kEscapeName : kCancelKey;
    if (control.text == nullptr || control.text[0] == 0) return "";
    char first = control.text[0];
    if (first >= 'A' && first <= 'Z') first = static_cast<char>(first - 'A' + 'a');
    return std::string(1, first);
}

bool controlEnabled(HWND control) {
    const WindowRecord* record = posix_layer::findWindow(control);
    return record != nullptr && record->enabled;
}

std::string controlText(HWND control) {
    const WindowRecord* record = posix_layer::findWindow(control);
    return record != nullptr ? record->text : std::string();
}

std::string buttonsLine(const DialogState& dialog) {
    std::string line;
    for (size_t i = 0; i < dialog.controls.size(); ++i) {
        const ControlTemplate& control = dialog.dialogTemplate->controls[i];
        if (control.kind != ControlKind::Button && control.kind != ControlKind::DefaultButton) continue;
        if (!controlEnabled(dialog.controls[i])) continue;
        const std::string pressKey = buttonKey(*dialog.dialogTemplate, control);
        if (!line.empty()) line += "   ";
        line += "[" + controlText(dialog.controls[i]) + "] " + (pressKey.empty() ? "Enter" : pressKey);
    }
    return line;
}

std::string answerHint(const DialogState& dialog) {
    const posix_layer::TerminalAnswer& answer = dialog.dialogTemplate->answer;
    if (answer.lineSubmits) {
        return "Type the answer and press Enter; Esc then Enter, or end of input, cancels.\n";
    }
    return "Type a new value and press Enter to change the field above.\n";
}

std::string renderDialog(HWND window, const DialogState& dialog) {
    const WindowRecord* record = posix_layer::findWindow(window);
    std::string text = "\n== " + (record != nullptr ? record->text : std::string()) + " ==\n";
    const posix_layer::TerminalAnswer& answer = dialog.dialogTemplate->answer;
    for (size_t i = 0; i < dialog.controls.size(); ++i) {
        const ControlTemplate& control = dialog.dialogTemplate->controls[i];
        const std::string value = controlText(dialog.controls[i]);
        if (control.kind == ControlKind::Static && !value.empty()) text += value + "\n";
        if (control.kind == ControlKind::Edit && !(control.id == answer.editId && answer.secret)) {
            text += "  [" + value + "]\n";
        }
    }
    text += buttonsLine(dialog) + "\n";
    text += answerHint(dialog);
    text += "> ";
    return text;
}

// --- What the user does ----------------------------------------------------------

HWND controlById(const DialogState& dialog, int id) {
    for (size_t i = 0; i < dialog.controls.size(); ++i) {
        if (dialog.dialogTemplate->controls[i].id == id) return dialog.controls[i];
    }
    return nullptr;
}

// The WM_COMMAND a click on the button sends; nothing when it is disabled.
// IDCANCEL is sent even without a Cancel button, as the Esc key does.
void pressButton(HWND window, int id) {
    DialogState* dialog = findDialog(window);
    if (dialog == nullptr) return;
    HWND button = controlById(*dialog, id);
    if (button != nullptr && !controlEnabled(button)) return;
    dialog->procedure(window, WM_COMMAND, MAKEWPARAM(id, kButtonClicked), reinterpret_cast<LPARAM>(button));
}

// The input has ended: nothing more can arrive. Press Cancel; a procedure
// that does not end the dialog then gets the system close, and if it still
// stays, the dialog ends with IDCANCEL so that the program does not wait
// forever.
void closeAtEndOfInput(HWND window) {
    pressButton(window, IDCANCEL);
    DialogState* dialog = findDialog(window);
    if (dialog == nullptr || dialog->ended) return;
    dialog->procedure(window, WM_SYSCOMMAND, SC_CLOSE, 0);
    dialog = findDialog(window);
    if (dialog == nullptr || dialog->ended) return;
    EndDialog(window, IDCANCEL);
}

bool pressButtonByKey(HWND window, const DialogState& dialog, const std::string& line) {
    for (size_t i = 0; i < dialog.controls.size(); ++i) {
        const ControlTemplate& control = dialog.dialogTemplate->controls[i];
        if (control.kind != ControlKind::Button) continue;
        if (buttonKey(*dialog.dialogTemplate, control) != line) continue;
        pressButton(window, control.id);
        return true;
    }
    return false;
}

void answerLine(HWND window, const std::string& line) {
    DialogState* dialog = findDialog(window);
    if (dialog == nullptr) return;
    const DialogTemplate& dialogTemplate = *dialog->dialogTemplate;
    const ControlTemplate* defaultControl = defaultButton(dialogTemplate);
    const int defaultId = defaultControl != nullptr ? defaultControl->id : IDOK;
    HWND edit = controlById(*dialog, dialogTemplate.answer.editId);

    if (dialogTemplate.answer.lineSubmits) {
        if (line == kEscapeLine) {
            pressButton(window, IDCANCEL);
            return;
        }
        SetWindowTextA(edit, line.c_str());
        pressButton(window, defaultId);
        return;
    }
    if (line.empty()) {
        pressButton(window, defaultId);
        return;
    }
    if (pressButtonByKey(window, *dialog, line)) return;
    if (edit != nullptr && controlEnabled(edit)) SetWindowTextA(edit, line.c_str());
}

INT_PTR runModalLoop(HWND window) {
    for (;;) {
        DialogState* dialog = findDialog(window);
        if (dialog == nullptr) return kDialogFailed;
        if (dialog->ended) return dialog->result;

        std::string line;
        const bool secret = dialog->dialogTemplate->answer.secret;
        if (posix_layer::readAnswerLine(renderDialog(window, *dialog), line, secret) ==
            LineResult::EndOfInput) {
            posix_layer::terminalPrint("\n");
            closeAtEndOfInput(window);
        } else {
            answerLine(window, line);
        }
    }
}

// --- Progress bars -----------------------------------------------------------------

int clampToRange(const ProgressState& bar, int position) {
    if (position < bar.rangeMin) return bar.rangeMin;
    if (position > bar.rangeMax) return bar.rangeMax;
    return position;
}

// Moves the bar and draws it; answers the previous position.
LRESULT moveProgressBar(ProgressState& bar, int position) {
    const int previous = bar.position;
    bar.position = clampToRange(bar, position);
    posix_layer::terminalDrawProgress(bar.position, bar.rangeMin, bar.rangeMax);
    return previous;
}

LRESULT progressBarMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    ProgressState& bar = state().progressBars[key(window)];
    switch (message) {
        case PBM_SETPOS: return moveProgressBar(bar, static_cast<int>(wParam));
        case PBM_DELTAPOS: return moveProgressBar(bar, bar.position + static_cast<int>(wParam));
        case PBM_STEPIT: return moveProgressBar(bar, bar.position + bar.step);
        case PBM_SETSTEP: {
            const int previous = bar.step;
            bar.step = static_cast<int>(wParam);
            return previous;
        }
        case PBM_SETRANGE: {
            const LRESULT previous = MAKELPARAM(bar.rangeMin, bar.rangeMax);
            bar.rangeMin = LOWORD(lParam);
            bar.rangeMax = static_cast<int>((static_cast<uintptr_t>(lParam) >> 16) & 0xFFFF);
            bar.position = clampToRange(bar, bar.position);
            return previous;
        }
        default: return 0;
    }
}

// WM_SETTEXT, WM_GETTEXT and WM_GETTEXTLENGTH work on every window's text,
// as the default window procedure and the controls do.
bool textMessage(WindowRecord& window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    switch (message) {
        case WM_SETTEXT: {
            const char* text = reinterpret_cast<const char*>(lParam);
            window.text = text != nullptr ? text : "";
            result = TRUE;
            return true;
        }
        case WM_GETTEXT: {
            char* buffer = reinterpret_cast<char*>(lParam);
            const size_t capacity = static_cast<size_t>(wParam);
            result = 0;
            if (buffer == nullptr || capacity == 0) return true;
            const size_t copied = window.text.size() < capacity - 1 ? window.text.size() : capacity - 1;
            std::memcpy(buffer, window.text.data(), copied);
            buffer[copied] = 0;
            result = static_cast<LRESULT>(copied);
            return true;
        }
        case WM_GETTEXTLENGTH: result = static_cast<LRESULT>(window.text.size()); return true;
        default: return false;
    }
}

}  // namespace

namespace posix_layer {

RECT unitsToPixels(const DialogUnitsBox& box) {
    // Rounded like MulDiv: horizontal units are quarters, vertical units
    // eighths of the font cell.
    auto scale = [](int units, LONG cell, int parts) {
        return static_cast<LONG>((static_cast<int64_t>(units) * cell + parts / 2) / parts);
    };
    RECT rect;
    rect.left = scale(box.x, kFontCellWidthPixels, 4);
    rect.top = scale(box.y, kFontCellHeightPixels, 8);
    rect.right = rect.left + scale(box.width, kFontCellWidthPixels, 4);
    rect.bottom = rect.top + scale(box.height, kFontCellHeightPixels, 8);
    return rect;
}

bool windowRectangle(HWND window, RECT& rect) {
    if (window != nullptr && window == state().desktop) {
        rect = RECT{0, 0, kDesktopWidthPixels, kDesktopHeightPixels};
        return true;
    }
    auto found = state().rectangles.find(key(window));
    if (found == state().rectangles.end()) return false;
    rect = found->second;
    return true;
}

void setWindowRectangle(HWND window, const RECT& rect) { state().rectangles[key(window)] = rect; }

}  // namespace posix_layer

INT_PTR DialogBoxParamA(HINSTANCE hInstance, LPCSTR lpTemplateName, HWND hWndParent, DLGPROC lpDialogFunc,
                        LPARAM dwInitParam) {
    (void)hInstance;  // the layer knows the program's own dialogs only
    const DialogTemplate* dialogTemplate = posix_layer::findDialogTemplate(lpTemplateName);
    if (dialogTemplate == nullptr) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return kDialogFailed;
    }
    if (lpDialogFunc == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return kDialogFailed;
    }
    HWND window = createDialog(*dialogTemplate, hWndParent, lpDialogFunc);
    DialogState* dialog = findDialog(window);
    HWND firstControl = dialog->controls.empty() ? nullptr : dialog->controls.front();
    lpDialogFunc(window, WM_INITDIALOG, reinterpret_cast<WPARAM>(firstControl), dwInitParam);
    const INT_PTR result = runModalLoop(window);
    destroyDialog(window);
    return result;
}

BOOL EndDialog(HWND hDlg, INT_PTR nResult) {
    DialogState* dialog = findDialog(hDlg);
    if (dialog == nullptr) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    // The dialog stays until its modal loop sees the flag, as on Windows: the
    // procedure may still talk to its controls after ending it.
    dialog->ended = true;
    dialog->result = nResult;
    return TRUE;
}

HWND GetDlgItem(HWND hDlg, int nIDDlgItem) {
    DialogState* dialog = findDialog(hDlg);
    if (dialog == nullptr) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    HWND control = controlById(*dialog, nIDDlgItem);
    if (control == nullptr) SetLastError(kErrorControlIdNotFound);
    return control;
}

UINT GetDlgItemTextA(HWND hDlg, int nIDDlgItem, LPSTR lpString, int cchMax) {
    if (lpString == nullptr || cchMax <= 0) return 0;
    lpString[0] = 0;
    HWND control = GetDlgItem(hDlg, nIDDlgItem);
    if (control == nullptr) return 0;
    return static_cast<UINT>(
        SendMessageA(control, WM_GETTEXT, static_cast<WPARAM>(cchMax), reinterpret_cast<LPARAM>(lpString)));
}

BOOL SetDlgItemTextA(HWND hDlg, int nIDDlgItem, LPCSTR lpString) {
    HWND control = GetDlgItem(hDlg, nIDDlgItem);
    if (control == nullptr) return FALSE;
    return SetWindowTextA(control, lpString);
}

BOOL SetWindowTextA(HWND hWnd, LPCSTR lpString) {
    WindowRecord* window = posix_layer::findWindow(hWnd);
    if (window == nullptr) return FALSE;
    window->text = lpString != nullptr ? lpString : "";
    return TRUE;
}

BOOL EnableWindow(HWND hWnd, BOOL bEnable) {
    WindowRecord* window = posix_layer::findWindow(hWnd);
    if (window == nullptr) return FALSE;
    // The answer is whether the window was disabled before.
    const BOOL wasDisabled = window->enabled ? FALSE : TRUE;
    window->enabled = bEnable != FALSE;
    return wasDisabled;
}

LRESULT SendMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    WindowRecord* window = posix_layer::findWindow(hWnd);
    if (window == nullptr) return 0;
    LRESULT result = 0;
    if (textMessage(*window, Msg, wParam, lParam, result)) return result;
    if (isProgressBar(*window)) return progressBarMessage(hWnd, Msg, wParam, lParam);
    if (window->procedure != nullptr) return window->procedure(hWnd, Msg, wParam, lParam);
    return 0;
}

HWND GetDesktopWindow(void) {
    if (state().desktop == nullptr) {
        WindowRecord record;
        record.className = kDesktopClass;
        state().desktop = posix_layer::newWindow(record);
    }
    return state().desktop;
}

BOOL GetWindowRect(HWND hWnd, LPRECT lpRect) {
    if (lpRect == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (hWnd != state().desktop && posix_layer::findWindow(hWnd) == nullptr) return FALSE;
    // A window the dialogs did not place (the hidden window) has no extent.
    if (!posix_layer::windowRectangle(hWnd, *lpRect)) *lpRect = RECT{};
    return TRUE;
}

BOOL CopyRect(LPRECT lprcDst, const RECT* lprcSrc) {
    if (lprcDst == nullptr || lprcSrc == nullptr) return FALSE;
    *lprcDst = *lprcSrc;
    return TRUE;
}

BOOL OffsetRect(LPRECT lprc, int dx, int dy) {
    if (lprc == nullptr) return FALSE;
    lprc->left += dx;
    lprc->right += dx;
    lprc->top += dy;
    lprc->bottom += dy;
    return TRUE;
}

BOOL SetWindowPos(HWND hWnd, HWND hWndInsertAfter, int X, int Y, int cx, int cy, UINT uFlags) {
    (void)hWndInsertAfter;  // one window at a time is shown: no stacking order
    if (posix_layer::findWindow(hWnd) == nullptr) return FALSE;
    RECT rect{};
    posix_layer::windowRectangle(hWnd, rect);
    if ((uFlags & SWP_NOSIZE) == 0) {
        rect.right = rect.left + cx;
        rect.bottom = rect.top + cy;
    }
    if ((uFlags & SWP_NOMOVE) == 0) OffsetRect(&rect, X - rect.left, Y - rect.top);
    posix_layer::setWindowRectangle(hWnd, rect);
    return TRUE;
}
