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

ModeRunBelow::ModeRunBelow(const char* utf8Base) : m_run(nullptr) {
    if (utf8Base == nullptr) return;
    XString base;
    base.setFromUtf8(utf8Base);
    m_run = beginModeRunW(wide(base));
}

ModeRunBelow::~ModeRunBelow() { endModeRun(m_run); }

bool ModeRunBelow::setMode(const char* utf8Name, uint32_t mode) {
    if (m_run == nullptr || utf8Name == nullptr) return false;
    XString name;
    name.setFromUtf8(utf8Name);
    return setModeInRunW(m_run, wide(name), mode) != FALSE;
}

bool createLinkBelow(const char* utf8Base, const char* utf8Name, const char* target) {
    if (utf8Base == nullptr || utf8Name == nullptr || target == nullptr) return false;
    XString base;
    XString name;
    base.setFromUtf8(utf8Base);
    name.setFromUtf8(utf8Name);
    return createSymbolicLinkBelowW(wide(base), wide(name), target) != FALSE;
}
