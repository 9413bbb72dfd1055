#pragma once
// EntryName: the rules an entry name must follow, on the way into a payload
// (pack) and on the way out of one (extract).
//
// In the payload a name is UTF-8 text in which '/' and '\' both separate
// directories, and a leading "X:" or separator makes it absolute. So a
// packed name must not hold '\' (a Linux file "a\b" would come out as a
// folder a with a file b) and its first component must not look like a
// drive. Its stored length is a u16; in an encrypted payload the stored
// bytes are the AES-CBC ciphertext, one to sixteen bytes longer. And the
// installers' UTF-8 decoder takes sequences of up to three bytes only: a
// character beyond U+FFFF (a four-byte sequence) vanishes from every name
// they create, on Windows and on Linux alike ("a\U0001F600.txt" comes out
// as "a.txt", which may be another entry's name). Such names are refused.

#include <cstdint>
#include <string>

namespace EntryName {

// Longest plain name of an encrypted payload: the padded ciphertext, a
// multiple of 16 bytes, must stay within 65535 bytes (65520), and padding
// always adds at least one byte.
constexpr uint32_t kMaxEncryptedNameBytes = 65519;

// The installer creates the parent folders of a name in an 800-byte work
// area and refuses a name of 800 bytes or more there, which stops the
// extraction: a name may have at most 799 bytes.
constexpr uint32_t kInstallerPathLimitBytes = 800;
constexpr uint32_t kMaxInstallerNameBytes = kInstallerPathLimitBytes - 1;

enum class PackProblem {
    None,
    Empty,
    NotUtf8,
    Backslash,    // '\' is a separator in the payload
    DriveLike,    // "X:" first component reads as an absolute path
    ControlByte,  // bytes below 0x20 (NUL cannot even be stored)
    BeyondBmp,    // a character above U+FFFF, which the installers' UTF-8 decoder drops
    TooLong,      // stored length above 65535 bytes
};

// Checks a name (relative, '/'-separated) for packing. The stored length is
// the name's length, or its ciphertext's when encrypted.
PackProblem checkForPacking(const std::string& name, bool encrypted);

// A sentence describing the problem, for the error message.
const char* describe(PackProblem problem);

// Whether a Windows installer can create the name ('/' and '\\' separate
// its components): no component may hold < > : " | ? * or a control
// character, end in a dot or space, or be a device name (CON, PRN, AUX,
// NUL, COM1-9, LPT1-9 and their superscript forms COM\u00B9-\u00B3 and
// LPT\u00B9-\u00B3, CONIN$, CONOUT$; in any letter case, with any
// extension, with spaces before the extension). False with the reason
// otherwise.
bool windowsCanCreate(const std::string& name, std::string& reason);

// The name with ASCII letters folded to lower case (how device names are
// matched).
std::string foldCase(const std::string& name);

// The name as Windows compares it: its UTF-16 units, each mapped to upper
// case (WindowsUpcase), '\\' taken for '/'. Two names with the same key are
// one file on Windows. The name must be valid UTF-8.
std::u16string windowsFileKey(const std::string& name);

// UTF-16 units of a valid UTF-8 text (two for a character beyond U+FFFF).
size_t utf16Units(const std::string& text);

// What an installer would do wrong with a name read from a payload: it
// would leave the destination (a leading separator, a drive "X:", a ".."
// component), it holds a control character (or NUL), it is longer than the
// installer takes, or, for a Windows installer, Windows cannot hold it.
// False with the reason when there is such a problem.
bool installerCanExtract(const std::string& stored, bool windowsStub, std::string& reason);

// Bytes the name occupies in the payload.
uint32_t storedLength(uint32_t nameBytes, bool encrypted);

// Well-formed UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool isValidUtf8(const std::string& text);

// Turns a name read from a payload into a safe relative path below the
// extraction folder: separators become '/', empty and "." components are
// dropped, ".." removes the component before it. False (with a reason) for
// an absolute name (leading separator or a drive "X:"), a name that would
// climb above the folder, a name holding a NUL byte, and a name with nothing
// left. relative never starts with '/' and never holds "..".
bool toSafeRelativePath(const std::string& stored, std::string& relative, std::string& reason);

// Whether a symbolic link named linkName ('/'-separated, relative) with
// this target leads out of the folder it is extracted to: an absolute target
// (a leading '/' or '\\'), or one whose ".." components climb above the
// folder from the link's own folder. Only the text is looked at: links the
// target passes through are the extraction's business (none is followed).
bool linkLeavesFolder(const std::string& linkName, const std::string& target);

}  // namespace EntryName
