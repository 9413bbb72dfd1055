#include "app/EntryListing.h"

#include "core/Divide64.h"
#include "core/FileTimeText.h"
#include "payload/PayloadFormat.h"

namespace {

constexpr int32_t kSizeColumnChars = 12;
constexpr int32_t kDecimalDigitsMax = 20;  // of a 64-bit value

// Three-byte UTF-8 forms of the characters that reorder text: U+202A-U+202E
// (E2 80 AA-AE) and U+2066-U+2069 (E2 81 A6-A9).
bool reordersText(const unsigned char* p) {
    if (p[0] != 0xE2) return false;
    if (p[1] == 0x80) return p[2] >= 0xAA && p[2] <= 0xAE;
    if (p[1] == 0x81) return p[2] >= 0xA6 && p[2] <= 0xA9;
    return false;
}

// C1 controls U+0080-U+009F: C2 80-9F.
bool isC1Control(const unsigned char* p) { return p[0] == 0xC2 && p[1] >= 0x80 && p[1] <= 0x9F; }

void appendEscapedByte(StringBuffer& line, unsigned char byte) {
    constexpr char kHexDigits[] = "0123456789ABCDEF";
    line.append("\\x");
    line.appendChar(kHexDigits[byte >> 4]);
    line.appendChar(kHexDigits[byte & 0x0F]);
}

void appendCount(StringBuffer& line, uint64_t count, const char* one, const char* many) {
    EntryListing::appendDecimal(line, count, 0);
    line.appendChar(' ');
    line.append(count == 1 ? one : many);
}

}  // namespace

namespace EntryListing {

void appendFileTime(StringBuffer& line, uint64_t fileTime) { appendUtcFileTime(line, fileTime); }

void appendAttributes(StringBuffer& line, uint32_t attributes) { appendAttributeLetters(line, attributes); }

void appendDisplayName(StringBuffer& line, const char* name) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(name);
    while (*p != 0) {
        if (*p < 0x20 || *p == 0x7F) {
            appendEscapedByte(line, *p++);
        } else if (isC1Control(p)) {
            appendEscapedByte(line, *p++);
            appendEscapedByte(line, *p++);
        } else if (p[1] != 0 && reordersText(p)) {
            for (int i = 0; i < 3; ++i) appendEscapedByte(line, *p++);
        } else if (*p == '\\') {
            // So that an escape in the output always means one.
            line.append("\\\\");
            ++p;
        } else {
            line.appendChar(static_cast<char>(*p++));
        }
    }
}

void appendDecimal(StringBuffer& line, uint64_t value, int32_t width) {
    char digits[kDecimalDigitsMax];
    int32_t count = 0;
    do {
        digits[count++] = static_cast<char>('0' + divideBySmall(value, 10));
    } while (value != 0);
    for (int32_t pad = width - count; pad > 0; --pad) line.appendChar(' ');
    while (count > 0) line.appendChar(digits[--count]);
}

}  // namespace EntryListing

void EntryLister::writeHeading() {
    if (m_printLines) {
        // The columns of the entry lines below.
        m_output.writeOutput("Time (UTC)           Attr          Size       Packed  Name\n");
    }
}

void EntryLister::onEntry(const EntryFacts& entry) {
    const bool directory = entry.type == PayloadFormat::kEntryDirectory;
    if (directory) {
        ++m_folders;
    } else {
        ++m_files;
        m_bytes += entry.sizeBytes;
    }
    if (!m_printLines) return;
    StringBuffer line;
    EntryListing::appendFileTime(line, entry.fileTime);
    line.append("  ");
    EntryListing::appendAttributes(line, entry.attributes);
    line.appendChar(' ');
    if (directory) {
        line.append("           -            -");
    } else {
        EntryListing::appendDecimal(line, entry.sizeBytes, kSizeColumnChars);
        line.appendChar(' ');
        EntryListing::appendDecimal(line, entry.packedBytes, kSizeColumnChars);
    }
    line.append("  ");
    EntryListing::appendDisplayName(line, entry.name);
    if (directory) line.appendChar('/');
    line.appendChar('\n');
    m_output.writeOutput(line.getString());
}

void EntryLister::appendSummary(StringBuffer& line) const {
    appendCount(line, m_files, "file", "files");
    line.append(", ");
    appendCount(line, m_folders, "folder", "folders");
    line.append(", ");
    appendCount(line, m_bytes, "byte", "bytes");
    line.appendChar('\n');
}
