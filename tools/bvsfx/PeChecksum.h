#pragma once
// PeChecksum: the CheckSum field of a PE optional header, computed the way
// the Windows image-help library does (CheckSumMappedFile): the file read
// as little-endian 16-bit words, the CheckSum field itself counted as zero,
// summed with the carries folded back into the low 16 bits after every
// addition; an odd last byte is added as a word of its own; the folded sum
// plus the file's length in bytes is the checksum.

#include <cstddef>
#include <cstdint>

namespace PeChecksum {

// The checksum of the file's bytes, whose 4-byte CheckSum field starts at
// checksumFieldOffset (an even offset inside the file).
uint32_t compute(const uint8_t* file, size_t bytes, size_t checksumFieldOffset);

}  // namespace PeChecksum
