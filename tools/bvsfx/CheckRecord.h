#pragma once
// CheckRecord: the record bvsfx writes after each file entry so that
// `bvsfx test` can tell a damaged file from a sound one.
//
// The payload itself carries no checksum: a stored chunk is taken as it
// stands and a damaged deflate stream may still decode to something. The
// reader skips every record whose type is not 0, 1 or 2 (after reading its
// name, time and attributes), so a record of another type can travel in the
// payload without changing what any installer extracts. Its layout is an
// ordinary entry header:
//
//   type        kCheckRecordType
//   name        ASCII text "CCCCCCCC N": the CRC-32 (ZIP's, lowercase hex,
//               8 digits) and the decimal byte count of the file entry just
//               before it (enciphered like any name in an encrypted payload)
//   time        0
//   attributes  0

#include <cstdint>
#include <string>

namespace CheckRecord {

constexpr uint8_t kCheckRecordType = 0x43;  // 'C'

std::string format(uint32_t crc32, uint64_t size);

// False unless text is exactly what format makes.
bool parse(const std::string& text, uint32_t& crc32, uint64_t& size);

}  // namespace CheckRecord
