#pragma once
// Compares an extracted tree with the one that was packed: the same names,
// kinds, bytes, last-write times (to the 100 ns a FILETIME keeps) and
// read-only state.

#include <sys/stat.h>

#include <map>
#include <string>

#include "ToolTestSupport.h"

namespace tool_test {

struct TreeEntry {
    bool directory = false;
    bool readOnly = false;
    int64_t mtimeTicks = 0;  // 100 ns units since 1970
    Bytes content;
};

inline std::map<std::string, TreeEntry> snapshot(const fs::path& root, bool withContent = true) {
    std::map<std::string, TreeEntry> out;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
        struct stat st;
        EXPECT_EQ(::lstat(it->path().c_str(), &st), 0);
        TreeEntry entry;
        entry.directory = S_ISDIR(st.st_mode);
        entry.readOnly = (st.st_mode & S_IWUSR) == 0;
        entry.mtimeTicks = int64_t(st.st_mtim.tv_sec) * 10000000 + st.st_mtim.tv_nsec / 100;
        if (!entry.directory && withContent) entry.content = readBytes(it->path());
        out[fs::relative(it->path(), root).string()] = std::move(entry);
    }
    return out;
}

// Empty when the trees agree, else the first differences.
inline std::string compareTrees(const fs::path& expected, const fs::path& actual, bool directoryTimes) {
    const auto want = snapshot(expected);
    const auto got = snapshot(actual);
    std::string differences;
    int shown = 0;
    auto note = [&](const std::string& text) {
        if (shown++ < 10) differences += text + "\n";
    };
    for (const auto& [name, entry] : want) {
        auto found = got.find(name);
        if (found == got.end()) {
            note("missing: " + name);
            continue;
        }
        const TreeEntry& other = found->second;
        if (entry.directory != other.directory) note("kind differs: " + name);
        if (entry.content != other.content) note("content differs: " + name);
        if (entry.readOnly != other.readOnly) note("read-only differs: " + name);
        if ((!entry.directory || directoryTimes) && entry.mtimeTicks != other.mtimeTicks) {
            note("time differs: " + name + " " + std::to_string(entry.mtimeTicks) + " vs " +
                 std::to_string(other.mtimeTicks));
        }
    }
    for (const auto& [name, entry] : got) {
        if (!want.count(name)) note("unexpected: " + name);
    }
    return differences;
}

// Sets a file's or folder's last-write time (and access time).
inline void setTime(const fs::path& path, int64_t seconds, long nanoseconds) {
    const struct timespec times[2] = {{seconds, nanoseconds}, {seconds, nanoseconds}};
    EXPECT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0);
}

}  // namespace tool_test
