#include "payload/DirectoryTimes.h"

#include <algorithm>

#include "core/XString.h"
#include "io/FileSystem.h"

namespace {

// Both '/' and '\' separate directories in entry names.
int countSeparators(const std::string& name) {
    int depth = 0;
    for (char c : name) depth += (c == '/' || c == '\\') ? 1 : 0;
    return depth;
}

void setDirectoryTime(const std::string& name, const FILETIME& time) {
    XString path;
    path.setFromUtf8(name.c_str());
    HANDLE handle = openForReadWriteBackup(path, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return;
    SetFileTime(handle, &time, &time, &time);
    closeFileHandle(handle);
}

}  // namespace

void DirectoryTimes::remember(const char* name, const FILETIME& time) {
    Directory directory{name, time, 0};
    directory.depth = countSeparators(directory.name);
    m_directories.push_back(directory);
}

void DirectoryTimes::restoreAll() {
    // Deepest first, and payload order among equally deep names, so a
    // directory listed twice gets its later time. One pass per depth in
    // place of a stable sort, whose merge code would outweigh the rest of
    // this class in the stub; the depth is bounded by the path length.
    int deepest = 0;
    for (const Directory& directory : m_directories) deepest = std::max(deepest, directory.depth);
    for (int depth = deepest; depth >= 0; --depth) {
        for (const Directory& directory : m_directories) {
            if (directory.depth == depth) setDirectoryTime(directory.name, directory.time);
        }
    }
    m_directories.clear();
}
