#include "io/WindowsVersion.h"

#include <cstring>

namespace {

// Minor version numbers of the Windows 95/98/Me family (platform id 1).
constexpr DWORD kMinorWindows95 = 0;
constexpr DWORD kMinorWindows98 = 10;
constexpr DWORD kMinorWindowsMe = 90;

}  // namespace

WindowsVersion::WindowsVersion() {
    std::memset(&m_info, 0, sizeof m_info);
    m_info.dwOSVersionInfoSize = kVersionInfoBytes;
    GetVersionExA(&m_info);
}

bool WindowsVersion::isWindows95() const {
    return m_info.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS && m_info.dwMinorVersion == kMinorWindows95;
}

bool WindowsVersion::isWindows98() const {
    return m_info.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS && m_info.dwMinorVersion == kMinorWindows98;
}

bool WindowsVersion::isWindowsMe() const {
    return m_info.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS && m_info.dwMinorVersion == kMinorWindowsMe;
}

bool WindowsVersion::isWin9x() const { return isWindows95() || isWindows98() || isWindowsMe(); }
