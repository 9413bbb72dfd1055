#pragma once
// ZipCRCFold: CRC-32 (ZIP's, reflected polynomial 0xEDB88320) over long
// ranges by folding with carry-less multiplication (the x86 PCLMULQDQ
// instruction): 64 bytes per step in four independent 128-bit lanes, then
// folded to one lane and reduced to 32 bits (Barrett reduction).
//
// Only for processors that have the instruction: foldingAvailable() tells,
// once, at run time; ZipCRC falls back to its tables otherwise.

#include <cstddef>
#include <cstdint>

namespace ZipCRCFold {

// The smallest range fold takes, and its granularity.
constexpr size_t kMinimumBytes = 64;
constexpr size_t kGranuleBytes = 16;

// True when the processor has PCLMULQDQ (and SSE4.1).
bool foldingAvailable();

// Continues the running CRC register (not complemented) over len bytes;
// len is at least kMinimumBytes and a multiple of kGranuleBytes.
uint32_t fold(uint32_t running, const uint8_t* data, size_t len);

}  // namespace ZipCRCFold
