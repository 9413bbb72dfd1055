// UnicodeLookup: the decoding table of a single-byte code page, one UTF-16
// unit per byte value; 0 means the byte has no mapping. Entry 0 is never
// consulted: byte 0 always decodes to unit 0.
#pragma once

#include <cstdint>

class HashConvert;

class UnicodeLookup {
public:
    static constexpr uint32_t kByteValues = 256;

    UnicodeLookup();

    // Fills the table from a single-byte decoding table: for bytes 1..255,
    // the byte itself when the table is asciiDirect and the byte is below
    // 0x80, else the 2-byte unit stored for that byte, else 0.
    void build(const HashConvert& decoder);

    // The unit of byte b (0: no mapping; byte 0 gives 0 too).
    uint16_t unitOf(uint8_t b) const { return m_units[b]; }

private:
    uint16_t m_units[kByteValues];
};
