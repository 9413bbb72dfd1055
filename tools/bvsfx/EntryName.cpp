#include "tools/bvsfx/EntryName.h"

#include <vector>

#include "payload/PayloadFormat.h"
#include "tools/bvsfx/WindowsUpcase.h"

namespace EntryName {

namespace {

bool isSeparator(char c) { return c == '/' || c == '\\'; }

bool startsWithDrive(const std::string& name) {
    if (name.size() < 2 || name[1] != ':') return false;
    const char c = name[0];
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// Length of the UTF-8 sequence a lead byte starts, 0 for an invalid lead.
int sequenceLength(uint8_t lead) {
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) return 2;
    if (lead >= 0xE0 && lead <= 0xEF) return 3;
    if (lead >= 0xF0 && lead <= 0xF4) return 4;
    return 0;
}

bool isDeviceName(std::string stem) {
    const size_t dot = stem.find('.');
    if (dot != std::string::npos) stem.resize(dot);
    stem = foldCase(stem);
    // Trailing spaces are ignored by Windows when it matches device names.
    while (!stem.empty() && stem.back() == ' ') stem.pop_back();
    static const char* const kDevices[] = {"con", "prn", "aux", "nul", "conin$", "conout$"};
    for (const char* device : kDevices) {
        if (stem == device) return true;
    }
    if (stem.compare(0, 3, "com") != 0 && stem.compare(0, 3, "lpt") != 0) return false;
    const std::string number = stem.substr(3);
    // 1 to 9, or the superscript digits one to three (U+00B9, U+00B2, U+00B3).
    return (number.size() == 1 && number[0] >= '1' && number[0] <= '9') || number == "\xC2\xB9" ||
           number == "\xC2\xB2" || number == "\xC2\xB3";
}

// Appends the code point's UTF-16 units.
void appendUtf16(uint32_t codePoint, std::u16string& out) {
    if (codePoint < 0x10000) {
        out += static_cast<char16_t>(codePoint);
        return;
    }
    codePoint -= 0x10000;
    out += static_cast<char16_t>(0xD800 + (codePoint >> 10));
    out += static_cast<char16_t>(0xDC00 + (codePoint & 0x3FF));
}

// The code points of valid UTF-8 as UTF-16 (invalid bytes are skipped).
std::u16string toUtf16(const std::string& text) {
    std::u16string out;
    const uint8_t* p = reinterpret_cast<const uint8_t*>(text.data());
    size_t i = 0;
    while (i < text.size()) {
        const int length = sequenceLength(p[i]);
        if (length == 0 || i + length > text.size()) {
            ++i;
            continue;
        }
        uint32_t codePoint = length == 1 ? p[i] : p[i] & (0x7F >> length);
        for (int k = 1; k < length; ++k) codePoint = (codePoint << 6) | (p[i + k] & 0x3F);
        appendUtf16(codePoint, out);
        i += length;
    }
    return out;
}

bool hasControlByte(const std::string& text) {
    for (char c : text) {
        if (static_cast<uint8_t>(c) < 0x20) return true;
    }
    return false;
}

}  // namespace

std::string foldCase(const std::string& name) {
    std::string folded = name;
    for (char& c : folded) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return folded;
}

std::u16string windowsFileKey(const std::string& name) {
    std::u16string key = toUtf16(name);
    for (char16_t& c : key) {
        if (c == u'\\') c = u'/';
    }
    return WindowsUpcase::text(key);
}

size_t utf16Units(const std::string& text) { return toUtf16(text).size(); }

bool windowsCanCreate(const std::string& name, std::string& reason) {
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = name.find_first_of("/\\", start);
        if (end == std::string::npos) end = name.size();
        const std::string part = name.substr(start, end - start);
        const size_t bad = part.find_first_of("<>:\"|?*");
        if (bad != std::string::npos) {
            reason = std::string("the character ") + part[bad] + " is not allowed in Windows file names";
            return false;
        }
        if (hasControlByte(part)) {
            reason = "control characters are not allowed in Windows file names";
            return false;
        }
        if (!part.empty() && (part.back() == '.' || part.back() == ' ') && part != "." && part != "..") {
            reason = "Windows drops a dot or space at the end of a file name";
            return false;
        }
        if (isDeviceName(part)) {
            reason = "\"" + part + "\" is a device name on Windows";
            return false;
        }
        start = end + 1;
    }
    return true;
}

uint32_t storedLength(uint32_t nameBytes, bool encrypted) {
    if (!encrypted) return nameBytes;
    const uint32_t block = PayloadFormat::kCipherBlockBytes;
    return (nameBytes / block + 1) * block;
}

bool isValidUtf8(const std::string& text) {
    const uint8_t* p = reinterpret_cast<const uint8_t*>(text.data());
    const size_t size = text.size();
    size_t i = 0;
    while (i < size) {
        const int length = sequenceLength(p[i]);
        if (length == 0 || i + length > size) return false;
        uint32_t codePoint = length == 1 ? p[i] : p[i] & (0x7F >> length);
        for (int k = 1; k < length; ++k) {
            if ((p[i + k] & 0xC0) != 0x80) return false;
            codePoint = (codePoint << 6) | (p[i + k] & 0x3F);
        }
        // Overlong 3- and 4-byte forms, surrogates and values past U+10FFFF;
        // the 2-byte overlongs are excluded by the lead-byte range.
        if (length == 3 && (codePoint < 0x800 || (codePoint >= 0xD800 && codePoint <= 0xDFFF))) return false;
        if (length == 4 && (codePoint < 0x10000 || codePoint > 0x10FFFF)) return false;
        i += length;
    }
    return true;
}

PackProblem checkForPacking(const std::string& name, bool encrypted) {
    if (name.empty()) return PackProblem::Empty;
    if (!isValidUtf8(name)) return PackProblem::NotUtf8;
    for (char c : name) {
        if (c == '\\') return PackProblem::Backslash;
        if (static_cast<uint8_t>(c) < 0x20) return PackProblem::ControlByte;
        if (static_cast<uint8_t>(c) >= 0xF0) return PackProblem::BeyondBmp;  // lead of a 4-byte sequence
    }
    if (startsWithDrive(name)) return PackProblem::DriveLike;
    const uint64_t limit = encrypted ? kMaxEncryptedNameBytes : PayloadFormat::kMaxEntryNameBytes;
    if (name.size() > limit) return PackProblem::TooLong;
    return PackProblem::None;
}

const char* describe(PackProblem problem) {
    switch (problem) {
        case PackProblem::None: return "no problem";
        case PackProblem::Empty: return "the name is empty";
        case PackProblem::NotUtf8: return "the name is not valid UTF-8";
        case PackProblem::Backslash:
            return "the name holds '\\', which the installer takes for a folder separator";
        case PackProblem::DriveLike:
            return "the name starts like a drive (\"X:\"), which the installer takes for an absolute path";
        case PackProblem::ControlByte: return "the name holds a control character";
        case PackProblem::BeyondBmp:
            return "the name holds a character beyond U+FFFF, which the installers (Windows and Linux) drop "
                   "from "
                   "the names they create";
        case PackProblem::TooLong:
            return "the name is longer than an entry name can be (65535 stored bytes, 65519 when encrypted)";
    }
    return "unknown problem";
}

bool installerCanExtract(const std::string& stored, bool windowsStub, std::string& reason) {
    if (stored.find('\0') != std::string::npos) {
        reason = "the name holds a NUL byte";
        return false;
    }
    if (!stored.empty() && isSeparator(stored[0])) {
        reason = "the name is absolute: the installer would write outside its destination";
        return false;
    }
    if (startsWithDrive(stored)) {
        reason = "the name starts with a drive: the installer would write outside its destination";
        return false;
    }
    size_t start = 0;
    while (start <= stored.size()) {
        size_t end = start;
        while (end < stored.size() && !isSeparator(stored[end])) ++end;
        if (stored.compare(start, end - start, "..") == 0 && end - start == 2) {
            reason = "the name has a '..' component: it would climb out of the destination";
            return false;
        }
        start = end + 1;
    }
    if (hasControlByte(stored)) {
        reason = "the name holds a control character";
        return false;
    }
    if (stored.size() > kMaxInstallerNameBytes) {
        reason = "the name is " + std::to_string(stored.size()) +
                 " bytes long; the installer stops at names of more than " +
                 std::to_string(kMaxInstallerNameBytes) + " bytes";
        return false;
    }
    if (windowsStub && !windowsCanCreate(stored, reason)) return false;
    return true;
}

bool toSafeRelativePath(const std::string& stored, std::string& relative, std::string& reason) {
    relative.clear();
    if (stored.find('\0') != std::string::npos) {
        reason = "the name holds a NUL byte";
        return false;
    }
    if (!stored.empty() && isSeparator(stored[0])) {
        reason = "the name is absolute";
        return false;
    }
    if (startsWithDrive(stored)) {
        reason = "the name starts with a drive";
        return false;
    }
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= stored.size()) {
        size_t end = start;
        while (end < stored.size() && !isSeparator(stored[end])) ++end;
        const std::string part = stored.substr(start, end - start);
        if (part == "..") {
            if (parts.empty()) {
                reason = "the name climbs above the extraction folder";
                return false;
            }
            parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        start = end + 1;
    }
    if (parts.empty()) {
        reason = "the name is empty";
        return false;
    }
    for (size_t i = 0; i < parts.size(); ++i) {
        if (i > 0) relative += '/';
        relative += parts[i];
    }
    return true;
}

bool linkLeavesFolder(const std::string& linkName, const std::string& target) {
    if (target.empty() || target[0] == '/' || target[0] == '\\') return true;
    int depth = 0;
    for (char c : linkName) depth += c == '/' ? 1 : 0;
    size_t start = 0;
    while (start <= target.size()) {
        size_t end = target.find_first_of("/\\", start);
        if (end == std::string::npos) end = target.size();
        const std::string part = target.substr(start, end - start);
        if (part == "..") {
            if (--depth < 0) return true;
        } else if (!part.empty() && part != ".") {
            ++depth;
        }
        start = end + 1;
    }
    return false;
}

}  // namespace EntryName
