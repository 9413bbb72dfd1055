#include "app/MainDialog.h"

#include "app/CenterWindow.h"
#include "app/ExtractionRun.h"
#include "app/FolderChooser.h"
#include "app/StubGlobals.h"
#include "resources/StubResources.h"

namespace {

// The folder field and the current-directory query hold this many
// characters.
constexpr int kFolderChars = 1024;
constexpr WPARAM kFullProgressPercent = 100;

void currentDirectory(StringBuffer& folder) {
    char currentDir[kFolderChars] = {0};
    const DWORD length = GetCurrentDirectoryA(kFolderChars, currentDir);
    // A failed query, or a path too long for the buffer, shows an empty field.
    if (length == 0 || length >= static_cast<DWORD>(kFolderChars)) currentDir[0] = 0;
    folder.setString(currentDir);
}

// The folder first shown: the configured one exactly as stored (a "%temp%"
// in it is replaced only when Unzip runs), else the current directory, or
// with unzipToTemp a generated temporary folder's name, which is remembered as
// the configured one (and as the proposal: left unchanged, the run creates a
// private folder for it).
void chooseInitialFolder(StringBuffer& folder) {
    if (g_saApp.m_unzipDir.getSize() != 0) {
        folder.setString(g_saApp.m_unzipDir.getString());
        return;
    }
    if (!g_saApp.m_unzipToTemp) {
        currentDirectory(folder);
        return;
    }
    if (!proposeTempFolder(folder)) return;  // the run makes one when Unzip is pressed
    g_saApp.m_proposedTempDir.setString(folder.getString());
    g_saApp.m_unzipDir.setString(folder.getString());
}

INT_PTR onInitDialog(HWND dialog) {
    StringBuffer folder;
    chooseInitialFolder(folder);
    SetDlgItemTextA(dialog, IDC_FOLDER_EDIT, folder.getString());
    if (g_saApp.m_appTitle.getSize() != 0) SetWindowTextA(dialog, g_saApp.m_appTitle.getString());
    if (g_saApp.m_appCaption.getSize() != 0) {
        SetDlgItemTextA(dialog, IDC_CAPTION_TEXT, g_saApp.m_appCaption.getString());
    }
    centerWindow(dialog);
    g_progress.setDialog(dialog);
    return TRUE;
}

INT_PTR onClose(HWND dialog) {
    EndDialog(dialog, IDC_CLOSE_BUTTON);
    PostQuitMessage(0);
    return TRUE;
}

// A cancelled browser leaves the field as it was.
INT_PTR onBrowse(HWND dialog) {
    FolderChooser chooser;
    chooser.reset();
    char path[FolderChooser::kPathBytes] = {0};
    if (chooser.chooseFolder(dialog, path)) SetDlgItemTextA(dialog, IDC_FOLDER_EDIT, path);
    return TRUE;
}

// The closing steps follow every run, also one that ended at the password
// prompt (the dialog is then already ended and goes away afterwards).
INT_PTR onUnzip(HWND dialog) {
    char typed[kFolderChars] = {0};
    GetDlgItemTextA(dialog, IDC_FOLDER_EDIT, typed, kFolderChars);
    g_saApp.m_unzipDir.setString(typed);
    runExtraction(dialog);
    SetDlgItemTextA(dialog, IDC_FINISHED_TEXT, STUB_TEXT_FINISHED);
    SendMessageA(GetDlgItem(dialog, IDC_PROGRESS_BAR), PBM_SETPOS, kFullProgressPercent, 0);
    return TRUE;
}

INT_PTR onCommand(HWND dialog, WORD command) {
    switch (command) {
        case IDC_CLOSE_BUTTON: return onClose(dialog);
        case IDC_BROWSE_BUTTON: return onBrowse(dialog);
        case IDC_UNZIP_BUTTON: return onUnzip(dialog);
        default: return FALSE;
    }
}

// Only the close box and Alt+F4 (SC_CLOSE exactly) end the dialog here;
// every other system command goes to the default handling.
INT_PTR onSysCommand(HWND dialog, WPARAM command) {
    if (command != SC_CLOSE) return FALSE;
    EndDialog(dialog, SC_CLOSE);
    PostQuitMessage(0);
    return TRUE;
}

}  // namespace

INT_PTR CALLBACK mainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    (void)lParam;
    switch (message) {
        case WM_INITDIALOG: return onInitDialog(dialog);
        case WM_COMMAND: return onCommand(dialog, LOWORD(wParam));
        case WM_SYSCOMMAND: return onSysCommand(dialog, wParam);
        default: return FALSE;
    }
}
