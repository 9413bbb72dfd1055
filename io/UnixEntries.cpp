// Unix modes and symbolic links, over the platform's link-safe operations.
#include "core/XString.h"
#include "io/FileSystem.h"
#include "platform/SafeFileOps.h"

namespace {

const WCHAR* wide(XString& path) { return reinterpret_cast<const WCHAR*>(path.getUtf16()); }

}  // namespace

bool keepsUnixModes() { return systemKeepsUnixModes() != FALSE; }

bool setModeBelow(const char* utf8Base, const char* utf8Name, uint32_t mode) {
    if (utf8Base == nullptr || utf8Name == nullptr) return false;
    XString base;
    XString name;
    base.setFromUtf8(utf8Base);
    name.setFromUtf8(utf8Name);
    return setModeBelowW(wide(base), wide(name), mode) != FALSE;
}

bool createLinkBelow(const char* utf8Base, const char* utf8Name, const char* target) {
    if (utf8Base == nullptr || utf8Name == nullptr || target == nullptr) return false;
    XString base;
    XString name;
    base.setFromUtf8(utf8Base);
    name.setFromUtf8(utf8Name);
    return createSymbolicLinkBelowW(wide(base), wide(name), target) != FALSE;
}
