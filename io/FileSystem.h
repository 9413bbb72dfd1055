// File-system functions over the Win32 file API.
//
// Paths enter as XString values or as UTF-8 text. Each function that takes a
// path chooses between the ANSI ("A") and the wide ("W") entry point:
// - the file-open functions use the ANSI entry point when the system is of the
//   Windows 95/98/Me family or when the path fits the ANSI code page, the
//   wide one otherwise;
// - createDir, setCurrentDir and setAttributes decide by the system family
//   alone (wide on NT-family systems).
// Every fallible function takes an optional LogBase as its last parameter
// (null: nothing is logged) and reports failure by its result.
#pragma once

#include <cstdint>

#include "platform/win32.h"

class LogBase;
class StringBuffer;
class XString;

// Size of the work area the directory-tree functions copy a path into. A path
// of this many bytes or more does not fit and is refused.
constexpr uint32_t kDirTreeWorkAreaBytes = 800;

// Sharing-violation retries of the open functions: 3 retries (4 attempts),
// 50 ms apart.
constexpr uint32_t kOpenSharingRetries = 3;
constexpr uint32_t kOpenRetryDelayMs = 50;

// Buffer lengths handed to the directory queries, in characters.
constexpr uint32_t kDirQueryChars = 260;
constexpr uint32_t kModulePathChars = 1024;

// --- Opening files ---------------------------------------------------------
// The five ways the library opens a file (access, share mode, disposition,
// flags):
//   CreateForWrite          GENERIC_WRITE, none, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL
//   CreateHiddenForWrite    GENERIC_WRITE, none, CREATE_ALWAYS, FILE_ATTRIBUTE_HIDDEN
//   OpenForRead             GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL
//   OpenForReadBackup       GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS
//   OpenForReadWriteBackup  GENERIC_READ|GENERIC_WRITE, FILE_SHARE_READ|FILE_SHARE_DELETE,
//                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS
// The backup-semantics forms can open directories.
enum class FileOpenMode {
    CreateForWrite,
    CreateHiddenForWrite,
    OpenForRead,
    OpenForReadBackup,
    OpenForReadWriteBackup,
};

// Opens with retries: while CreateFile fails with ERROR_SHARING_VIOLATION,
// up to 3 more attempts are made 50 ms apart (the ANSI form also widens a
// share mode of exactly FILE_SHARE_READ to FILE_SHARE_READ|FILE_SHARE_WRITE).
// When the open finally fails and a log is given: logError("Failed to open
// file (2)") for the ANSI form or ("Failed to open file (3)") for the wide
// form; logData("filename", ANSI path) — for the wide form "utf8Filename"
// with the UTF-8 path when the path does not fit the ANSI code page; then
// logData("osErrorInfo", the system's text for the error).
// Returns the handle or INVALID_HANDLE_VALUE.
HANDLE openFileAnsi(const char* ansiPath, FileOpenMode mode, LogBase* log);
HANDLE openFileWide(const uint16_t* utf16Path, FileOpenMode mode, LogBase* log);

// The XString forms choose the entry point (see the top of this file). An
// empty path gives INVALID_HANDLE_VALUE at once; openForRead then also logs
// logError("Cannot open file, filename is empty.").
// The two create forms also pass FILE_FLAG_OPEN_REPARSE_POINT: a symbolic
// link or junction standing at the name is never written through (remove it
// first with removeLinkAt to put a file in its place).
HANDLE createForWrite(XString& path, LogBase* log);
HANDLE createHiddenForWrite(XString& path, LogBase* log);
HANDLE openForRead(XString& path, LogBase* log);
HANDLE openForReadBackup(XString& path, LogBase* log);
HANDLE openForReadWriteBackup(XString& path, LogBase* log);

// Read-opens of a path already in the ANSI code page or in UTF-16 (the forms
// the whole-file loaders use). A null or empty path logs logError("Cannot
// open file, filename is empty.") and gives INVALID_HANDLE_VALUE.
HANDLE openForReadAnsi(const char* ansiPath, LogBase* log);
HANDLE openForReadWide(const uint16_t* utf16Path, LogBase* log);

// Closes the handle unless it is INVALID_HANDLE_VALUE.
void closeFileHandle(HANDLE handle);

// GetFileSize, low 32 bits only. On INVALID_FILE_SIZE with a log: logError
// with the system's error text, then logError("Failed to get file size").
// Returns the raw value (INVALID_FILE_SIZE on failure).
uint32_t getFileSizeLogged(HANDLE handle, LogBase* log);

// --- Directory queries -----------------------------------------------------
// Each writes into out; a query that fails in the end leaves out empty.
// getTempDir keeps the system's trailing separator.
void getCurrentDir(XString& out);
void getTempDir(XString& out);
void getModulePath(XString& out);

// --- Directories and attributes --------------------------------------------
bool createDir(XString& path, SECURITY_ATTRIBUTES* security);
bool setCurrentDir(XString& path);
bool setAttributes(XString& path, uint32_t attributes);

// True exactly when openForRead of the path succeeds (the handle is closed at
// once): false for a null or empty path and for a directory. A failed open
// leaves its entries in the log.
bool fileExists(const char* utf8Path, LogBase* log);
// The same test on a path in the ANSI code page.
bool fileExistsAnsi(const char* ansiPath, LogBase* log);

// Deletes a file with DeleteFileA. Entries: null or empty path:
// logError("Cannot delete file, filename is null or empty"); missing file:
// the failed open's entries, logData("delete_filename", path),
// logInfo("Cannot delete file, file does not exist"); refused:
// logInfo("Cannot delete file"), logData("delete_filename", path),
// logInfo("DeleteFile: " + the system's error text).
bool deleteFileAnsi(const char* ansiPath, LogBase* log);
// Converts the UTF-8 path to the ANSI code page, then deleteFileAnsi.
bool deleteFileUtf8(const char* utf8Path, LogBase* log);

// --- Links -------------------------------------------------------------------
// A symbolic link or another reparse point (a junction, a mount point) seen
// as itself, not as what it leads to.
bool isLinkAt(XString& path);
// Removes a link standing at the name without touching what it leads to
// (RemoveDirectory for a link to a directory, DeleteFile for any other).
// True when no link stands there afterwards, also when none stood there.
bool removeLinkAt(XString& path);

// --- Unix modes and symbolic links -------------------------------------------
// Whether this system keeps Unix permission bits and symbolic links (false
// on Windows, where the two below always fail).
bool keepsUnixModes();
// The permission bits of a file or directory below base (UTF-8; "." for the
// current directory), reached and changed without following any link; the
// umask applies, setuid, setgid and sticky never (platform/SafeFileOps.h).
bool setModeBelow(const char* utf8Base, const char* utf8Name, uint32_t mode);
struct ModeRun;
// setModeBelow for many names below one base (a run, platform/SafeFileOps.h):
// the folders on the way to a run of names in one folder are opened once.
class ModeRunBelow {
public:
    explicit ModeRunBelow(const char* utf8Base);
    ~ModeRunBelow();
    ModeRunBelow(const ModeRunBelow&) = delete;
    ModeRunBelow& operator=(const ModeRunBelow&) = delete;
    bool setMode(const char* utf8Name, uint32_t mode);

private:
    ModeRun* m_run;
};
// A symbolic link below base with target as its content, replacing a file or
// link at its name; no link on the way is followed.
bool createLinkBelow(const char* utf8Base, const char* utf8Name, const char* target);

// --- Replacing files -----------------------------------------------------------
// A file is written in the place of whatever stands at its name (a file, a
// read-only file, a link, a hard link of someone else's file) in two steps:
// createReplacementFile makes a new file exclusively in the name's folder
// ("bvz_" + four random characters + ".tmp"; hidden when asked) and gives its
// handle and name; once written and closed, commitReplacementFile renames it
// over the name, which replaces the name itself and never follows a link
// standing there. A failed commit removes the new file; discardReplacementFile
// removes it without a commit. INVALID_HANDLE_VALUE when the file cannot be
// made (the folder is missing or not writable, or no random name was free).
HANDLE createReplacementFile(XString& path, bool hidden, XString& temporaryPath);
bool commitReplacementFile(XString& temporaryPath, XString& path);
void discardReplacementFile(XString& temporaryPath);

// --- Directory trees -------------------------------------------------------
// Creates every missing directory of a path ('/' and '\' both separate;
// empty components are skipped) and leaves the current directory in the
// deepest one. A drive part "X:" is entered at its root first; a leading
// separator starts at the root of the current drive. A path of 800 bytes or
// more that does not already exist as a directory is refused (false) rather
// than shortened. Entries: "Failed to set directory to root directory" with
// "directory"; those of enterOrCreateDir.
bool makeDirTree(const char* utf8Path, LogBase* log);
// makeDirTree, then restores the current directory it started with.
bool makeDirTreeKeepCwd(const char* utf8Path, LogBase* log);
// Creates the directories above the last separator of a file path and
// restores the current directory. A path without separator needs nothing:
// true. Null, or 800 bytes or more: false.
bool makeParentDirs(const char* utf8Path, LogBase* log);
// The forms that extraction uses for entry names. A relative path is walked
// component by component from the current directory, and a link met on the
// way (the last component included) is removed and replaced by a real
// directory, so that nothing is created through a link into another place.
// makeParentDirsNoLinks examines each folder of a relative path by its path
// from the current directory (a, a\b, ...) instead of entering it: the same
// folders are examined and made, without the changes of directory.
// An absolute path goes to its place as with makeDirTree: its components
// belong to the system (which may well hold links, e.g. a merged /usr).
bool makeDirTreeNoLinks(const char* utf8Path, LogBase* log);
bool makeParentDirsNoLinks(const char* utf8Path, LogBase* log);
// makeDirTreeNoLinks with the folders of a relative path examined and made
// by their paths, as makeParentDirsNoLinks does, and the current directory
// left where it was.
bool makeDirTreeByPathNoLinks(const char* utf8Path, LogBase* log);
// The same for a path whose parent folders were just made or examined so:
// only the last folder is examined and made (an absolute path, or one that
// ends in a separator, is taken whole as above).
bool makeLastFolderByPathNoLinks(const char* utf8Path, LogBase* log);
// Enters the directory component below the current directory, creating it
// first when entering fails. A null or empty component, or one holding '\'
// or ':', is refused with logInfo("Cannot set directory, bad path"),
// logData("path", component or "null"). A failed create logs
// logError("Failed to create directory"), logData("path", component),
// logError("CreateDirectory: " + the system's error text).
bool enterOrCreateDir(const char* utf8Component, LogBase* log);

// --- Generated temporary names ---------------------------------------------
// out = directory + stem + "_" + four characters from A-Z and 0-9 +
// extension, never the name of an existing file. The pattern is the prefix
// ("x" when empty) with ".tmp" added when it has no '.'; its stem is what
// precedes its last '.', its extension that '.' and what follows. A separator
// is added to the directory when it ends in neither '/' nor '\'. Reseeds the
// shared random generator with the tick count.
void makeTempName(XString& prefix, XString& directory, XString& out);
// makeTempName in the temporary-files folder; appends the UTF-8 name to out.
void tempNameInTempDir(const char* utf8Prefix, StringBuffer& out);
// makeTempName in the given folder; appends the UTF-8 name to out.
void tempNameIn(const char* utf8Directory, const char* utf8Prefix, StringBuffer& out);

// --- Private temporary folders ---------------------------------------------
// Tries kPrivateTempDirTries names in the temporary-files folder, prefix + "_"
// + four characters from A-Z and 0-9 drawn from the system's random source
// (never from the shared generator, whose values follow from the clock),
// creating each exclusively and private to the user (createPrivateDirectoryW):
// a name at which anything already stands is never used. On success out holds
// the folder's UTF-8 path without trailing separator; false when every try
// failed or no random bytes could be had.
constexpr uint32_t kPrivateTempDirTries = 64;
bool makePrivateTempDir(const char* utf8Prefix, StringBuffer& out);
// A name of that form, from the same source, without creating anything (for
// showing a proposal). False when no random bytes could be had.
bool randomTempDirName(const char* utf8Prefix, StringBuffer& out);
