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

// --- Unix modes and symbolic links -------------------------------------------
// Whether the system has Unix permission bits and symbolic links that an
// extraction can recreate: TRUE on POSIX systems. On Windows FALSE, and the
// two functions below fail there with ERROR_NOT_SUPPORTED.
BOOL systemKeepsUnixModes();

// Both functions reach `name` (relative, '/' or '\' separated, no ".."
// component) from the directory `base` (the system's; followed) one
// directory at a time, each opened without following a link: a link on the
// way makes them fail, and nothing outside `base` can be touched through
// one. The last component is never followed either.

// Gives the directory or regular file at `name` the permission bits `mode`
// as a new file of that mode would get them: the process's umask removes
// bits, and setuid, setgid and sticky are never set. Fails when a link, a
// special file, or a regular file with more than one name (a hard link,
// which may be someone else's file) stands there.
BOOL setModeBelowW(LPCWSTR base, LPCWSTR name, DWORD mode);

// Many setModeBelowW calls with one base, made as a run: the run opens
// `base` once and keeps the folder that held the last name open, so that
// the next name in the same folder is changed through it without opening
// the folders on the way again. Each folder was reached without following a
// link when it was opened, and an open folder stays the folder it was
// whatever is renamed or linked in its place later, so a run protects as
// single calls do. The umask is read once per run. beginModeRunW gives null
// when `base` cannot be opened (and always on Windows, ERROR_NOT_SUPPORTED);
// setModeInRunW fails then.
struct ModeRun;
ModeRun* beginModeRunW(LPCWSTR base);
BOOL setModeInRunW(ModeRun* run, LPCWSTR name, DWORD mode);
void endModeRun(ModeRun* run);

// Creates the symbolic link `name` with the content `target` (bytes, as
// stored; never resolved) under a new name in its folder and renames it over
// `name`, replacing a file or link that stands there without following it.
// Fails when a directory stands there or the folder on the way is missing.
BOOL createSymbolicLinkBelowW(LPCWSTR base, LPCWSTR name, LPCSTR target);
