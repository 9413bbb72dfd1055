// Md5CompactBlock: the MD5 compression function (RFC 1321, 3.4) as one loop
// over the 64 steps: the same bits as HmacMD5's unrolled form in about a
// tenth of its code, for programs where size matters more than speed (the
// installer stub builds HmacMD5 with BRIVANE_COMPACT_MD5 to use it).
#pragma once

#include <cstdint>

// Runs one 64-byte block through the four rounds and adds the result to state.
void md5CompressCompact(uint32_t state[4], const uint8_t* block);
