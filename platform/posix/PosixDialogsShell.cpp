// The shell's folder browser as a terminal prompt (SHBrowseForFolderA), the
// item list it returns (SHGetPathFromIDListA) and the shell allocator that
// frees it (SHGetMalloc).
//
// An item list here holds one item whose bytes are the chosen folder's
// absolute path with its terminator, followed by the empty item that ends
// every list.
#include <sys/stat.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/posix/PosixDialogs.h"

namespace {

// Size field of an item, counted in the item's own size.
constexpr size_t kItemSizeFieldBytes = sizeof(WORD);
constexpr size_t kLargestItemBytes = 0xFFFF;

// The shell allocator: plain malloc and free, one object for the process.
class ShellAllocator final : public IMalloc {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(const void* riid, void** ppvObject) override {
        (void)riid;
        if (ppvObject != nullptr) *ppvObject = this;
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    void* STDMETHODCALLTYPE Alloc(size_t cb) override { return std::malloc(cb); }
    void* STDMETHODCALLTYPE Realloc(void* pv, size_t cb) override { return std::realloc(pv, cb); }
    void STDMETHODCALLTYPE Free(void* pv) override { std::free(pv); }
    size_t STDMETHODCALLTYPE GetSize(void* pv) override {
        (void)pv;
        return static_cast<size_t>(-1);  // unknown, as for a block it did not allocate
    }
    int STDMETHODCALLTYPE DidAlloc(void* pv) override {
        (void)pv;
        return -1;  // cannot tell
    }
    void STDMETHODCALLTYPE HeapMinimize() override {}
};

ShellAllocator& shellAllocator() {
    static ShellAllocator allocator;
    return allocator;
}

bool isDirectory(const std::string& path) {
    struct stat status;
    return ::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

std::string absolutePath(const std::string& path) {
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved) == nullptr) return path;
    return resolved;
}

std::string lastComponent(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos || slash + 1 == path.size()) return path;
    return path.substr(slash + 1);
}

PIDLIST_ABSOLUTE newItemList(const std::string& path) {
    const size_t itemBytes = kItemSizeFieldBytes + path.size() + 1;
    if (itemBytes > kLargestItemBytes) return nullptr;
    auto* bytes = static_cast<BYTE*>(shellAllocator().Alloc(itemBytes + kItemSizeFieldBytes));
    if (bytes == nullptr) return nullptr;
    const WORD itemSize = static_cast<WORD>(itemBytes);
    std::memcpy(bytes, &itemSize, kItemSizeFieldBytes);
    std::memcpy(bytes + kItemSizeFieldBytes, path.c_str(), path.size() + 1);
    const WORD endOfList = 0;
    std::memcpy(bytes + itemBytes, &endOfList, kItemSizeFieldBytes);
    return reinterpret_cast<PIDLIST_ABSOLUTE>(bytes);
}

void copyDisplayName(const std::string& path, LPSTR displayName) {
    if (displayName == nullptr) return;
    const std::string name = lastComponent(path);
    const size_t copied = name.size() < MAX_PATH - 1 ? name.size() : MAX_PATH - 1;
    std::memcpy(displayName, name.data(), copied);
    displayName[copied] = 0;
}

}  // namespace

// Asks for a folder on the terminal: an empty line or the end of input is
// Cancel; a line that does not name an existing folder is refused (the
// real browser offers existing folders only) and counts as Cancel too.
PIDLIST_ABSOLUTE SHBrowseForFolderA(LPBROWSEINFOA lpbi) {
    if (lpbi == nullptr) return nullptr;
    std::string prompt = "\n== Browse For Folder ==\n";
    if (lpbi->lpszTitle != nullptr) prompt += std::string(lpbi->lpszTitle) + "\n";
    prompt += "Folder (empty line cancels): ";

    std::string line;
    if (posix_layer::readAnswerLine(prompt, line, false) == posix_layer::LineResult::EndOfInput) {
        posix_layer::terminalPrint("\n");
        return nullptr;
    }
    if (line.empty()) return nullptr;
    if (!isDirectory(line)) {
        posix_layer::terminalPrint("Not a folder: " + line + "\n");
        return nullptr;
    }
    const std::string path = absolutePath(line);
    copyDisplayName(path, lpbi->pszDisplayName);
    return newItemList(path);
}

BOOL SHGetPathFromIDListA(PCIDLIST_ABSOLUTE pidl, LPSTR pszPath) {
    if (pidl == nullptr || pszPath == nullptr) return FALSE;
    pszPath[0] = 0;
    WORD itemSize = 0;
    std::memcpy(&itemSize, pidl, kItemSizeFieldBytes);
    if (itemSize <= kItemSizeFieldBytes) return FALSE;  // the desktop itself: no path
    const char* path = reinterpret_cast<const char*>(pidl) + kItemSizeFieldBytes;
    const size_t length = std::strlen(path);
    // The caller's buffer holds MAX_PATH characters.
    if (length >= MAX_PATH) return FALSE;
    std::memcpy(pszPath, path, length + 1);
    return TRUE;
}

HRESULT SHGetMalloc(IMalloc** ppMalloc) {
    if (ppMalloc == nullptr) return E_FAIL;
    *ppMalloc = &shellAllocator();
    return S_OK;
}
