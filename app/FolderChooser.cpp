#include "app/FolderChooser.h"

#include <cstring>

#include "resources/StubResources.h"

FolderChooser::FolderChooser() { reset(); }

void FolderChooser::reset() {
    std::memset(m_displayName, 0, sizeof m_displayName);
    m_root = nullptr;
}

bool FolderChooser::chooseFolder(HWND owner, char* path) {
    if (path == nullptr) return false;

    BROWSEINFOA browse;
    std::memset(&browse, 0, sizeof browse);
    browse.hwndOwner = owner;
    browse.pidlRoot = m_root;
    browse.pszDisplayName = m_displayName;
    browse.lpszTitle = STUB_TEXT_BROWSE_TITLE;
    browse.ulFlags = 0;
    browse.lpfn = nullptr;  // no callback
    browse.lParam = 0;

    PIDLIST_ABSOLUTE chosen = SHBrowseForFolderA(&browse);
    if (chosen == nullptr) return false;
    const bool gotPath = SHGetPathFromIDListA(chosen, path) != FALSE;
    freeItemList(chosen);
    return gotPath;
}

// The browser's item list belongs to the shell's allocator.
void FolderChooser::freeItemList(PIDLIST_ABSOLUTE items) {
    IMalloc* allocator = nullptr;
    if (!SUCCEEDED(SHGetMalloc(&allocator)) || allocator == nullptr) return;
    allocator->Free(items);
    allocator->Release();
}
