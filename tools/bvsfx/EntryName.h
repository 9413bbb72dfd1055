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
// installer's text layer decodes UTF-8 up to three-byte sequences only: a
// character beyond U+FFFF (a four-byte sequence) would vanish from the name
// the installer creates, so such names are refused too.

#include <cstdint>
#include <string>

namespace EntryName {

// Longest plain name of an encrypted payload: the padded ciphertext, a
// multiple of 16 bytes, must stay within 65535 bytes (65520), and padding
// always adds at least one byte.
constexpr uint32_t kMaxEncryptedNameBytes = 65519;

// The installer creates the parent folders of a name in an 800-byte work
// area; a longer name stops the extraction there.
constexpr uint32_t kInstallerPathLimitBytes = 800;

enum class PackProblem {
    None,
    Empty,
    NotUtf8,
    Backslash,      // '\' is a separator in the payload
    DriveLike,      // "X:" first component reads as an absolute path
    ControlByte,    // bytes below 0x20 (NUL cannot even be stored)
    BeyondBmp,      // a character above U+FFFF, which the installer's text layer drops
    TooLong,        // stored length above 65535 bytes
};

// Checks a name (relative, '/'-separated) for packing. The stored length is
// the name's length, or its ciphertext's when encrypted.
PackProblem checkForPacking(const std::string& name, bool encrypted);

// A sentence describing the problem, for the error message.
const char* describe(PackProblem problem);

// Whether a Windows installer can create the name: no component may hold
// < > : " | ? * or end in a dot or space, nor be a device name (CON, PRN,
// AUX, NUL, COM1-9, LPT1-9, with or without an extension). False with the
// reason otherwise.
bool windowsCanCreate(const std::string& name, std::string& reason);

// The name with ASCII letters folded to lower case: two names that fold to
// the same text are one file on Windows.
std::string foldCase(const std::string& name);

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

}  // namespace EntryName
