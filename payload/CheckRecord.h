#pragma once
// CheckRecord: the records bvsfx adds to a payload so that the installer
// and `bvsfx test` can tell a damaged payload from a sound one.
//
// The payload format has no checksum anywhere: a stored chunk is taken as it
// stands, a damaged deflate stream may still decode, and names, times and
// settings are plain fields. But a reader skips every record whose type is
// not 0, 1 or 2 (after reading its name, time and attributes), so records of
// another type travel in the payload without changing what a reader that
// does not know them extracts. bvsfx writes one with type kCheckRecordType:
//
//   before the first entry   "S hhhhhhhh"              CRC-32 of the header and the
//                                                      settings table, as stored
//   after each directory     "D hhhhhhhh"              CRC-32 of the entry's header
//   after each file          "F hhhhhhhh cccccccc N"   header CRC, CRC-32 of the
//                                                      content, content size
//   before the end record    "E N"                     number of directory and file
//                                                      entries in the payload
//   closing the Unix records "T hhhhhhhh N"            CRC-32 and number of the
//   behind the end record                              records there (UnixRecord.h)
//
// The text is the record's name (enciphered like every name in an encrypted
// payload); its time and attributes are 0 (a reader takes anything else for
// damage). An entry's header CRC covers the type byte, the plain name, the
// FILETIME (8 bytes little-endian) and the attributes (4 bytes
// little-endian). All CRCs are ZIP's CRC-32, written as 8 lowercase
// hexadecimal digits; counts in decimal without leading zeros.
//
// A payload whose first record is an S record promises all the others: a
// missing check record, a record of another type, an end record not
// preceded by E, or a check record in a payload that did not begin with
// one, is damage.

#include <cstddef>
#include <cstdint>
#include <string>

namespace CheckRecord {

constexpr uint8_t kCheckRecordType = 0x43;  // 'C'
// Longest text: "F " + 8 + " " + 8 + " " + 20 digits of a 64-bit count.
constexpr uint32_t kMaxTextBytes = 40;

enum class Kind : char { Settings = 'S', Directory = 'D', File = 'F', End = 'E', Trailer = 'T' };

struct Fields {
    Kind kind = Kind::File;
    uint32_t headerCrc = 0;   // S, D, F; T: the records' CRC
    uint32_t contentCrc = 0;  // F
    uint64_t count = 0;       // F: content bytes; E: entries; T: records
};

// Writes the record's text into text (room for kMaxTextBytes, no
// terminator); returns its length.
uint32_t format(const Fields& fields, char* text);
inline std::string format(const Fields& fields) {
    char text[kMaxTextBytes];
    return std::string(text, format(fields, text));
}

// False unless the bytes are exactly what format makes for some fields.
bool parse(const char* text, size_t size, Fields& fields);
inline bool parse(const std::string& text, Fields& fields) { return parse(text.data(), text.size(), fields); }

// CRC-32 of an entry's type, plain name, time and attributes.
uint32_t entryHeaderCrc(uint8_t type, const char* name, size_t nameBytes, uint64_t fileTime,
                        uint32_t attributes);
inline uint32_t entryHeaderCrc(uint8_t type, const std::string& name, uint64_t fileTime,
                               uint32_t attributes) {
    return entryHeaderCrc(type, name.data(), name.size(), fileTime, attributes);
}

}  // namespace CheckRecord
