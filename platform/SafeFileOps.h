// File operations that never follow a link another user may have put in the
// way. Each one is a few system calls that differ between Windows and POSIX
// systems, so they live in the platform layer: platform/windows/ and
// platform/posix/ implement them.
#pragma once

#include "platform/win32.h"

// Creates the directory, failing with ERROR_ALREADY_EXISTS when anything at
// all stands at the name (a file, a directory, a link: a link is never
// followed). On POSIX systems the directory gets mode 0700 from the start. On
// Windows it gets the default security of its parent: the user's temporary
// folder grants access to the user, SYSTEM and the administrators only, and
// a new folder inherits that.
BOOL createPrivateDirectoryW(LPCWSTR path);

// Removes the symbolic link, junction or other reparse point at the name
// itself, never what it leads to. Fails (ERROR_NOT_A_REPARSE_POINT) when what
// the system opens at the name is not the link itself: Wine, for one, opens
// the target of a Unix symbolic link, and removing that would delete the
// target.
BOOL removeLinkW(LPCWSTR path);

// Puts the file `from` in the place of `to`, replacing whatever file or link
// stands there (a link is replaced, not followed; a read-only file is
// replaced too). Fails when `to` is a directory. Both names must be in the
// same folder.
BOOL replaceFileW(LPCWSTR from, LPCWSTR to);

// Removes the file or directory tree at the name, following no link: a link
// met at the name or anywhere below it is removed as a link (a link that the
// system would open as its target instead is left, and the removal fails),
// and nothing outside the tree is touched. Read-only files and folders inside
// are removed too. The folders on the way to the name are the system's and
// are followed. False when something could not be removed; what could be
// removed is gone. A name at which nothing stands is removed already: TRUE.
BOOL removeTreeW(LPCWSTR path);
