#include "core/ZipCRC.h"

#include <cstddef>
#include <cstring>

#include "core/ByteOrder.h"
#include "core/ZipCRCFold.h"

namespace {

// Slicing by 16: table k holds the CRC of a byte followed by k zero bytes,
// so 16 input bytes are folded into the running value with 16 independent
// lookups instead of 16 dependent ones. Table 0 is the standard byte table.
constexpr int kSliceTables = 16;
constexpr uint32_t kSliceBytes = 16;
constexpr int kTableEntries = 256;
// Below this the set-up of the folding costs more than the tables.
constexpr size_t kFoldFromBytes = 256;

uint32_t g_tables[kSliceTables][kTableEntries];
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
bool isBinaryByte(uint8_t b) { return b <= 6 || b >= 128; }

uint32_t updateByteByByte(uint32_t crc, const uint8_t* p, size_t len) {
    const uint32_t* table = g_tables[0];
    for (size_t i = 0; i < len; ++i) crc = (crc >> 8) ^ table[(crc ^ p[i]) & 0xFFu];
    return crc;
}

// The first word absorbs the running value; the byte at offset i of the
// block is looked up in table 15 - i (it is followed by 15 - i bytes).
uint32_t foldBlock(uint32_t crc, const uint8_t* p) {
    const uint32_t w0 = loadLittleEndian32(p) ^ crc;
    const uint32_t w1 = loadLittleEndian32(p + 4);
    const uint32_t w2 = loadLittleEndian32(p + 8);
    const uint32_t w3 = loadLittleEndian32(p + 12);
    return g_tables[15][w0 & 0xFFu] ^ g_tables[14][(w0 >> 8) & 0xFFu] ^ g_tables[13][(w0 >> 16) & 0xFFu] ^
           g_tables[12][w0 >> 24] ^ g_tables[11][w1 & 0xFFu] ^ g_tables[10][(w1 >> 8) & 0xFFu] ^
           g_tables[9][(w1 >> 16) & 0xFFu] ^ g_tables[8][w1 >> 24] ^ g_tables[7][w2 & 0xFFu] ^
           g_tables[6][(w2 >> 8) & 0xFFu] ^ g_tables[5][(w2 >> 16) & 0xFFu] ^ g_tables[4][w2 >> 24] ^
           g_tables[3][w3 & 0xFFu] ^ g_tables[2][(w3 >> 8) & 0xFFu] ^ g_tables[1][(w3 >> 16) & 0xFFu] ^
           g_tables[0][w3 >> 24];
}

uint32_t updateSliced(uint32_t crc, const uint8_t* p, size_t len) {
    // Long ranges fold with carry-less multiplication where the processor
    // has it (several times faster); the tables take the rest.
    if (len >= kFoldFromBytes && ZipCRCFold::foldingAvailable()) {
        const size_t folded = len & ~(ZipCRCFold::kGranuleBytes - 1);
        crc = ZipCRCFold::fold(crc, p, folded);
        p += folded;
        len -= folded;
    }
    while (len >= kSliceBytes) {
        crc = foldBlock(crc, p);
        p += kSliceBytes;
        len -= kSliceBytes;
    }
    return updateByteByByte(crc, p, len);
}

}  // namespace

// Each entry of table 0: the index reflected over 8 bits at the top of the
// word, eight steps of the MSB-first polynomial division, then reflected
// over 32 bits — the reflected-table form of the standard CRC. Table k
// extends table k-1 by one zero byte.
void ZipCRC::buildTable() {
    for (uint32_t index = 0; index < kTableEntries; ++index) {
        uint32_t value = reflectBits(index, 8) << 24;
        for (int step = 0; step < 8; ++step)
            value = (value & 0x80000000u) ? (value << 1) ^ kPolynomial : (value << 1);
        g_tables[0][index] = reflectBits(value, 32);
    }
    for (int k = 1; k < kSliceTables; ++k) {
        for (uint32_t index = 0; index < kTableEntries; ++index) {
            const uint32_t previous = g_tables[k - 1][index];
            g_tables[k][index] = (previous >> 8) ^ g_tables[0][previous & 0xFFu];
        }
    }
    g_tableBuilt = true;
}

ZipCRC::ZipCRC() : m_running(kInitialValue) {
    if (!g_tableBuilt) buildTable();
}

ZipCRC::~ZipCRC() = default;

void ZipCRC::reset() { m_running = kInitialValue; }

void ZipCRC::update(const void* data, uint32_t len) {
    if (data == nullptr) return;
    m_running = updateSliced(m_running, static_cast<const uint8_t*>(data), len);
}

uint32_t ZipCRC::final() const { return ~m_running; }

uint32_t ZipCRC::compute(const void* data, uint32_t len, int32_t* textFlag) {
    const uint8_t* p = static_cast<const uint8_t*>(data);
    if (p == nullptr) len = 0;
    const uint32_t crc = updateSliced(kInitialValue, p, len);
    if (textFlag != nullptr) {
        uint32_t binaryCount = 0;
        for (uint32_t i = 0; i < len; ++i) binaryCount += isBinaryByte(p[i]) ? 1u : 0u;
        const uint32_t textCount = len - binaryCount;
        *textFlag = binaryCount > textCount / 4 ? 1 : 0;
    }
    return ~crc;
}
