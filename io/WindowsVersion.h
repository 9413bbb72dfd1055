// The operating-system version, asked of GetVersionExA at construction. A new
// instance is made for each decision; nothing is cached across instances.
#pragma once

#include "platform/win32.h"

class WindowsVersion {
public:
    // Size of OSVERSIONINFOA as the system expects it in its size field.
    static constexpr DWORD kVersionInfoBytes = 148;

    WindowsVersion();

    // Platform VER_PLATFORM_WIN32_WINDOWS (1) with minor version 0, 10 or 90.
    bool isWindows95() const;
    bool isWindows98() const;
    bool isWindowsMe() const;
    // Any of the three: the family whose file API takes only ANSI paths.
    bool isWin9x() const;

private:
    OSVERSIONINFOA m_info;
};

static_assert(sizeof(OSVERSIONINFOA) == WindowsVersion::kVersionInfoBytes,
              "OSVERSIONINFOA must have the system's layout");
