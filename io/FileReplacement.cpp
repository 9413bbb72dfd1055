// Writing a file in the place of whatever stands at its name.
//
// Creating the file at its name (CREATE_ALWAYS) would open what stands there:
// through a symbolic link, or into a file that is a hard link of someone
// else's, another user's file would be overwritten; a read-only file from an
// earlier run would refuse the open. Instead the file is created exclusively
// under a fresh name in the same folder and renamed over the name at the
// end: a rename replaces the name itself, whatever it was.
#include <string>

#include "core/XString.h"
#include "io/FileSystem.h"
#include "io/RandomName.h"
#include "platform/SafeFileOps.h"

namespace {

constexpr uint32_t kReplacementNameTries = 16;
constexpr char kReplacementPrefix[] = "bvz_";
constexpr char kReplacementExtension[] = ".tmp";

const WCHAR* wide(XString& path) { return reinterpret_cast<const WCHAR*>(path.getUtf16()); }

// The folder part of a name, its last separator included ("" for a bare
// name).
std::string folderOf(const std::string& name) {
    const size_t separator = name.find_last_of("/\\");
    return separator == std::string::npos ? std::string() : name.substr(0, separator + 1);
}

}  // namespace

HANDLE createReplacementFile(XString& path, bool hidden, XString& temporaryPath) {
    const std::string folder = folderOf(path.getUtf8());
    const DWORD attributes = hidden ? FILE_ATTRIBUTE_HIDDEN : FILE_ATTRIBUTE_NORMAL;
    for (uint32_t attempt = 0; attempt < kReplacementNameTries; ++attempt) {
        std::string chars;
        if (!randomNameChars(chars)) return INVALID_HANDLE_VALUE;
        temporaryPath.setFromUtf8((folder + kReplacementPrefix + chars + kReplacementExtension).c_str());
        // CREATE_NEW fails on anything at the name, a link included.
        HANDLE handle =
            CreateFileW(wide(temporaryPath), GENERIC_WRITE, 0, nullptr, CREATE_NEW, attributes, nullptr);
        if (handle != INVALID_HANDLE_VALUE) return handle;
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) return INVALID_HANDLE_VALUE;
    }
    return INVALID_HANDLE_VALUE;
}

bool commitReplacementFile(XString& temporaryPath, XString& path) {
    if (replaceFileW(wide(temporaryPath), wide(path))) return true;
    DeleteFileW(wide(temporaryPath));
    return false;
}

void discardReplacementFile(XString& temporaryPath) { DeleteFileW(wide(temporaryPath)); }
