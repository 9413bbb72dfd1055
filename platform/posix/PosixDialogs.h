// Internals of the layer's dialogs: the templates of the program's two
// dialogs, the geometry of windows, and the terminal that stands in for the
// screen. Only platform/posix/ and the layer's own tests include this header.
//
// A dialog here has no pixels: DialogBoxParamA creates a window for the
// dialog and one per control (so GetDlgItem, SetDlgItemTextA, EnableWindow
// and SendMessageA work on real handles), sends WM_INITDIALOG, and then
// renders the dialog's texts on standard error and turns each line the user
// answers into the WM_COMMAND the real dialog would send, until the dialog
// procedure calls EndDialog.
#pragma once

#include <string>
#include <vector>

#include "platform/win32.h"

namespace posix_layer {

// --- Templates -------------------------------------------------------------
enum class ControlKind { Button, DefaultButton, Static, Edit, ProgressBar };

// A position and size in dialog units, as the resource script gives them.
struct DialogUnitsBox {
    int x;
    int y;
    int width;
    int height;
};

struct ControlTemplate {
    int id;
    ControlKind kind;
    const char* className;
    const char* text;
    DialogUnitsBox box;
};

// How the terminal asks for a dialog's answer.
struct TerminalAnswer {
    // The edit a typed line goes into.
    int editId;
    // True: the typed line fills the edit and presses the default button (the
    // password). False: it replaces the edit's text and the dialog is shown
    // again; an empty line presses the default button (the folder).
    bool lineSubmits;
    // Read without echo when standard input is a terminal; never printed.
    bool secret;
};

struct DialogTemplate {
    int resourceId;
    const char* caption;
    DialogUnitsBox box;
    std::vector<ControlTemplate> controls;
    TerminalAnswer answer;
};

// The template of a dialog resource (MAKEINTRESOURCEA(id)), or null.
const DialogTemplate* findDialogTemplate(LPCSTR templateName);

// --- Geometry ----------------------------------------------------------------
// The screen the layer pretends to have, in pixels.
constexpr LONG kDesktopWidthPixels = 1024;
constexpr LONG kDesktopHeightPixels = 768;
// Dialog units to pixels for an 8-point dialog font at 96 dots per inch: a
// horizontal unit is a quarter, a vertical one an eighth of the font's
// average character cell of 6 × 13 pixels.
constexpr LONG kFontCellWidthPixels = 6;
constexpr LONG kFontCellHeightPixels = 13;
RECT unitsToPixels(const DialogUnitsBox& box);

// Screen rectangle of a window created by the dialogs (dialogs, controls,
// the desktop). False for any other window.
bool windowRectangle(HWND window, RECT& rect);
void setWindowRectangle(HWND window, const RECT& rect);

// --- Terminal ------------------------------------------------------------------
// Shows the prompt, then reads the answer from standard input, one line at
// a time, unbuffered so that programs started later inherit the rest. On a
// terminal a secret line is read with echo turned off (from before the
// prompt is shown until the line has been read).
enum class LineResult { Line, EndOfInput };
LineResult readAnswerLine(const std::string& prompt, std::string& line, bool secret);
bool inputIsTerminal();

// Output goes to standard error. The progress bar is redrawn in place on a
// terminal (and ended with a newline before any other output) and printed
// as one line per position otherwise.
void terminalPrint(const std::string& text);
void terminalDrawProgress(int position, int rangeMin, int rangeMax);

}  // namespace posix_layer
