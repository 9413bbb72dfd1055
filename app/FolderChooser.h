#pragma once
// FolderChooser: the shell's folder browser for the main dialog's Browse
// button. Browsing always starts at the desktop.

#include "platform/win32.h"

class FolderChooser {
public:
    // Size of the path buffer chooseFolder fills (the main dialog's field).
    static constexpr int kPathBytes = 1024;
    // Size of the browser's display-name buffer.
    static constexpr int kDisplayNameBytes = MAX_PATH;

    FolderChooser();

    // Empties the display name and sets the root to none (the desktop).
    void reset();

    // Shows the browser over owner with the title "Please select a folder.".
    // True when a folder was chosen and its path was written to path (which
    // must hold kPathBytes bytes); false for a null path, a cancelled
    // browser, or a chosen item without a file-system path. The browser's
    // item list is freed through the shell allocator in every case.
    bool chooseFolder(HWND owner, char* path);

private:
    void freeItemList(PIDLIST_ABSOLUTE items);

    char m_displayName[kDisplayNameBytes];
    PCIDLIST_ABSOLUTE m_root;  // always none
};
