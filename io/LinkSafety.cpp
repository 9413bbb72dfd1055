// Telling links apart from what they lead to, and removing them.
#include "core/XString.h"
#include "io/FileSystem.h"
#include "platform/SafeFileOps.h"

namespace {

const WCHAR* wide(XString& path) { return reinterpret_cast<const WCHAR*>(path.getUtf16()); }

}  // namespace

bool isLinkAt(XString& path) {
    if (path.getLength() == 0) return false;
    const DWORD attributes = GetFileAttributesW(wide(path));
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

bool removeLinkAt(XString& path) {
    if (!isLinkAt(path)) return true;
    return removeLinkW(wide(path)) != FALSE;
}
