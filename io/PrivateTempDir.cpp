// Private temporary folders with names from the system's random source.
//
// The names must not be guessable (a name that follows from the clock can be
// taken over by another user before we get to it), and the folder must be
// created, not merely found free: between a test for a free name and its
// creation another user could put a folder or a link there.
#include <string>

#include "core/StringBuffer.h"
#include "core/XString.h"
#include "io/FileSystem.h"
#include "io/RandomName.h"
#include "platform/SafeFileOps.h"

namespace {

// The temporary-files folder, a separator and prefix + "_"; empty when the
// folder is unknown.
std::string nameBase(const char* utf8Prefix) {
    XString tempDir;
    getTempDir(tempDir);
    std::string base = tempDir.getUtf8();
    if (base.empty()) return base;
    if (base.back() != '/' && base.back() != '\\') base += '\\';
    return base + utf8Prefix + "_";
}

}  // namespace

bool randomTempDirName(const char* utf8Prefix, StringBuffer& out) {
    const std::string base = nameBase(utf8Prefix);
    std::string chars;
    if (base.empty() || !randomNameChars(chars)) return false;
    out.setString((base + chars).c_str());
    return true;
}

bool makePrivateTempDir(const char* utf8Prefix, StringBuffer& out) {
    const std::string base = nameBase(utf8Prefix);
    if (base.empty()) return false;
    for (uint32_t attempt = 0; attempt < kPrivateTempDirTries; ++attempt) {
        std::string chars;
        if (!randomNameChars(chars)) return false;
        XString candidate;
        candidate.setFromUtf8((base + chars).c_str());
        if (createPrivateDirectoryW(reinterpret_cast<LPCWSTR>(candidate.getUtf16()))) {
            out.setString(candidate.getUtf8());
            return true;
        }
    }
    return false;
}
