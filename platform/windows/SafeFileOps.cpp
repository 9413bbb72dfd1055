// The link-safe file operations over the Win32 API.
#include "platform/SafeFileOps.h"

#include <cstdlib>
#include <cwchar>

namespace {

// Opens the name itself: a reparse point is opened as what it is, not as
// its target.
HANDLE openNameItself(LPCWSTR path) {
    return CreateFileW(path, DELETE | FILE_READ_ATTRIBUTES,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                       FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

// SetFileInformationByHandle exists from Windows Vista on; looked up at run
// time so that the stub still starts on older systems (where a link in the
// way then makes the run stop instead).
typedef BOOL(WINAPI* SetFileInformationByHandleFunction)(HANDLE, FILE_INFO_BY_HANDLE_CLASS, LPVOID, DWORD);

SetFileInformationByHandleFunction setFileInformationByHandle() {
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    if (kernel == nullptr) return nullptr;
    return reinterpret_cast<SetFileInformationByHandleFunction>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "SetFileInformationByHandle")));
}

bool clearReadOnly(LPCWSTR path) {
    const DWORD attributes = GetFileAttributesW(path);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_READONLY) == 0) return false;
    return SetFileAttributesW(path, attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY)) != FALSE;
}

bool isDotName(const wchar_t* name) {
    return name[0] == L'.' && (name[1] == 0 || (name[1] == L'.' && name[2] == 0));
}

// The path of the entry a tree walk is at: one block that grows as the walk
// goes deeper; each level appends "\name" and cuts it off again.
struct WalkPath {
    wchar_t* text = nullptr;
    size_t length = 0;
    size_t capacity = 0;

    ~WalkPath() { std::free(text); }

    // Appends count characters (and keeps the text terminated); false when
    // the block cannot grow.
    bool append(const wchar_t* part, size_t count) {
        if (length + count + 1 > capacity) {
            const size_t wanted = 2 * (length + count + 1);
            wchar_t* grown = static_cast<wchar_t*>(std::realloc(text, wanted * sizeof(wchar_t)));
            if (grown == nullptr) return false;
            text = grown;
            capacity = wanted;
        }
        std::wmemcpy(text + length, part, count);
        length += count;
        text[length] = 0;
        return true;
    }

    void cutTo(size_t kept) {
        length = kept;
        text[length] = 0;
    }
};

// A link (symbolic link, junction) goes through removeLinkW, which removes
// the link itself or refuses; everything else is a file or a real folder.
bool removeEntry(WalkPath& walk) {
    const wchar_t* path = walk.text;
    const DWORD attributes = GetFileAttributesW(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
    }
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return removeLinkW(path) != FALSE;
    if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        SetFileAttributesW(path, attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return DeleteFileW(path) != FALSE;

    const size_t folderLength = walk.length;
    if (!walk.append(L"\\*", 2)) return false;
    bool removed = true;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(walk.text, &found);
    walk.cutTo(folderLength);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if (isDotName(found.cFileName)) continue;
            const bool named =
                walk.append(L"\\", 1) && walk.append(found.cFileName, std::wcslen(found.cFileName));
            removed = named && removeEntry(walk) && removed;
            walk.cutTo(folderLength);
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    return RemoveDirectoryW(walk.text) != FALSE && removed;
}

}  // namespace

BOOL createPrivateDirectoryW(LPCWSTR path) { return CreateDirectoryW(path, nullptr); }

BOOL removeLinkW(LPCWSTR path) {
    HANDLE handle = openNameItself(path);
    if (handle == INVALID_HANDLE_VALUE) return FALSE;
    BY_HANDLE_FILE_INFORMATION information;
    const bool isLinkItself = GetFileInformationByHandle(handle, &information) &&
                              (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    if (!isLinkItself) {
        CloseHandle(handle);
        SetLastError(ERROR_NOT_A_REPARSE_POINT);
        return FALSE;
    }
    FILE_DISPOSITION_INFO disposition;
    disposition.DeleteFile = TRUE;
    const SetFileInformationByHandleFunction setInformation = setFileInformationByHandle();
    const BOOL removed = setInformation != nullptr &&
                         setInformation(handle, FileDispositionInfo, &disposition, sizeof disposition);
    const DWORD error = GetLastError();
    CloseHandle(handle);
    SetLastError(error);
    return removed;
}

BOOL replaceFileW(LPCWSTR from, LPCWSTR to) {
    if (MoveFileExW(from, to, MOVEFILE_REPLACE_EXISTING)) return TRUE;
    // A read-only file refuses to be replaced: clear the attribute (of the
    // file itself; a link's own attributes are its own) and try once more.
    if (GetLastError() != ERROR_ACCESS_DENIED || !clearReadOnly(to)) return FALSE;
    return MoveFileExW(from, to, MOVEFILE_REPLACE_EXISTING);
}

BOOL removeTreeW(LPCWSTR path) {
    size_t length = std::wcslen(path);
    while (length > 1 && (path[length - 1] == L'\\' || path[length - 1] == L'/')) --length;
    WalkPath walk;
    if (!walk.append(path, length)) return FALSE;
    return removeEntry(walk) ? TRUE : FALSE;
}

// Windows keeps neither Unix permission bits nor links an unprivileged
// installer could make: both are left to Linux installers.
BOOL systemKeepsUnixModes() { return FALSE; }

BOOL setModeBelowW(LPCWSTR base, LPCWSTR name, DWORD mode) {
    (void)base;
    (void)name;
    (void)mode;
    SetLastError(ERROR_NOT_SUPPORTED);
    return FALSE;
}

ModeRun* beginModeRunW(LPCWSTR base) {
    (void)base;
    SetLastError(ERROR_NOT_SUPPORTED);
    return nullptr;
}

BOOL setModeInRunW(ModeRun* run, LPCWSTR name, DWORD mode) {
    (void)run;
    (void)name;
    (void)mode;
    SetLastError(ERROR_NOT_SUPPORTED);
    return FALSE;
}

void endModeRun(ModeRun* run) { (void)run; }

BOOL createSymbolicLinkBelowW(LPCWSTR base, LPCWSTR name, LPCSTR target) {
    (void)base;
    (void)name;
    (void)target;
    SetLastError(ERROR_NOT_SUPPORTED);
    return FALSE;
}
