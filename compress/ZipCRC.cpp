#include "compress/ZipCRC.h"

#include <cstddef>

namespace {

uint32_t g_table[256];
bool g_tableBuilt = false;

uint32_t reflectBits(uint32_t value, int bitCount) {
    uint32_t reflected = 0;
    for (int i = 0; i < bitCount; ++i) {
        reflected = (reflected << 1) | (value & 1u);
        value >>= 1;
    }
    return reflected;
}

// Byte classes of the text/binary guess: control bytes 0..6 and the high
// half 128..255 count as binary, 7..127 as text.
bool isBinaryByte(uint8_t b) {
    return b <= 6 || b >= 128;
}

} // namespace

// Each entry: the index reflected over 8 bits at the top of the word, eight
// steps of the MSB-first polynomial division, then reflected over 32 bits —
// the reflected-table form of the standard CRC.
void ZipCRC::buildTable() {
    for (uint32_t index = 0; index < 256; ++index) {
        uint32_t value = reflectBits(index, 8) << 24;
        for (int step = 0; step < 8; ++step)
            value = (value & 0x80000000u) ? (value << 1) ^ kPolynomial : (value << 1);
        g_table[index] = reflectBits(value, 32);
    }
    g_tableBuilt = true;
}

ZipCRC::ZipCRC() : m_running(kInitialValue) {
    if (!g_tableBuilt)
        buildTable();
}

ZipCRC::~ZipCRC() = default;

void ZipCRC::reset() {
    m_running = kInitialValue;
}

void ZipCRC::update(const void* data, uint32_t len) {
    if (data == nullptr)
        return;
    const uint8_t* p = static_cast<const uint8_t*>(data);
    uint32_t crc = m_running;
    for (uint32_t i = 0; i < len; ++i)
        crc = (crc >> 8) ^ g_table[(crc ^ p[i]) & 0xFFu];
    m_running = crc;
}

uint32_t ZipCRC::final() const {
    return ~m_running;
}

uint32_t ZipCRC::compute(const void* data, uint32_t len, int32_t* textFlag) {
    const uint8_t* p = static_cast<const uint8_t*>(data);
    if (p == nullptr)
        len = 0;
    uint32_t crc = kInitialValue;
    uint32_t binaryCount = 0;
    uint32_t textCount = 0;
    for (uint32_t i = 0; i < len; ++i) {
        crc = (crc >> 8) ^ g_table[(crc ^ p[i]) & 0xFFu];
        if (isBinaryByte(p[i]))
            ++binaryCount;
        else
            ++textCount;
    }
    if (textFlag != nullptr)
        *textFlag = binaryCount > textCount / 4 ? 1 : 0;
    return ~crc;
}
