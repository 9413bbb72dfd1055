#pragma once
// DirectoryTimes: the times of the directories an extraction created, set
// again once everything below them has been written.
//
// Setting a directory's time when it is created does not last: every file
// or directory created in it afterwards changes its last-write time again.
// So the extraction remembers each directory entry with its packed time and,
// at the end of the payload, sets the times once more, innermost first (a
// directory's own time is then set after those of everything inside it).

#include <string>
#include <vector>

#include "platform/win32.h"

class DirectoryTimes {
public:
    // name: the entry's UTF-8 name as the extraction used it (relative to
    // the current directory, or absolute).
    void remember(const char* name, const FILETIME& time);

    // Sets every remembered directory's creation, last-access and
    // last-write time, deepest names first; directories that cannot be
    // opened are left alone. Forgets them afterwards.
    void restoreAll();

private:
    struct Directory {
        std::string name;
        FILETIME time;
        int depth;  // number of separators in the name
    };
    std::vector<Directory> m_directories;
};
