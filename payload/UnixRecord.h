#pragma once
// UnixRecord: the Unix modes and symbolic links of a payload, for the
// installers and tools that can recreate them (Linux), in records that every
// other reader never reads.
//
// Where they stand: behind the payload's end record. No installer reads
// past the end record, so they change nothing for a reader that does not
// know them: not for a stub that skips records of unknown types, and not
// for one that checks the check records (CheckRecord.h), which takes any
// record of an unknown type among the entries for damage. Bit 0 of the
// archive header's first byte (PayloadFormat::kExtensionUnixTrailer) says
// that they follow; that byte is summed by the settings check record, and
// it is honoured only in a payload that begins with one, since a payload
// made by other means may hold anything in the header's unused bytes.
//
// After the end record, in the framing of every entry record (magic, type,
// name length, name, time 0, attributes 0; the name enciphered like every
// name in an encrypted payload):
//
//   type kUnixRecordType, one per directory and file entry, in payload order:
//       "M" NUL index NUL mode     index: the entry's position among the
//                                  directory and file entries, from 0, in
//                                  decimal; mode: 4 octal digits, the
//                                  permission bits as packed (setuid, setgid
//                                  and sticky included; readers never apply
//                                  those three)
//   type kUnixRecordType, one per symbolic link:
//       "L" NUL name NUL target    name: the link's entry name (UTF-8,
//                                  '/'-separated, relative); target: the
//                                  link's content as stored by the system
//   a check record "T hhhhhhhh N"  CRC-32 of every record above (its type
//                                  byte, then its plain text), and their
//                                  number (CheckRecord.h)
//   an end record
//
// Fields are separated by one NUL byte, which neither a name nor a link
// target can hold. A reader takes the fields it knows and ignores any that
// follow them, and ignores a record whose first field it does not know (but
// sums it for the check): later writers may add both.

#include <cstddef>
#include <cstdint>
#include <string>

#include "core/ZipCRC.h"

namespace UnixRecord {

constexpr uint8_t kUnixRecordType = 0x55;  // 'U'
constexpr char kFieldSeparator = '\0';
constexpr uint32_t kModeDigits = 4;
// The permission bits a record carries, and the three of them that a
// reader never sets from a payload: a file that came from a download must
// not run with its owner's or its group's rights, and an installer does not
// make shared folders.
constexpr uint32_t kPermissionBits = 07777;
constexpr uint32_t kSetIdAndStickyBits = 07000;

enum class Kind { Mode, Link, Unknown };

struct Fields {
    Kind kind = Kind::Mode;
    uint64_t entryIndex = 0;  // Mode
    uint32_t mode = 0;        // Mode: permission bits
    std::string name;         // Link
    std::string target;       // Link
};

// The record's text (its name field).
std::string format(const Fields& fields);

// False unless the text starts with a known record in its exact form, or
// is a record of an unknown kind (Kind::Unknown, nothing else filled).
// Fields after the known ones are ignored.
bool parse(const char* text, size_t size, Fields& fields);
inline bool parse(const std::string& text, Fields& fields) { return parse(text.data(), text.size(), fields); }

// The sum the closing "T" check record holds: CRC-32 over each record's
// type byte and plain text, in payload order, and the number of records.
class TrailerSum {
public:
    TrailerSum() { m_crc.reset(); }
    void add(uint8_t type, const char* text, size_t size);
    uint32_t crc() const { return m_crc.final(); }
    uint64_t records() const { return m_records; }

private:
    ZipCRC m_crc;
    uint64_t m_records = 0;
};

}  // namespace UnixRecord
