#include "core/EncodingUtf7.h"

#include "core/ByteOrder.h"
#include "core/DataBuffer.h"
#include "core/Utf16Units.h"

namespace {

// --- UTF-7 (RFC 2152) ----------------------------------------------------------------

constexpr char kBase64Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr uint8_t kShiftIn = '+';
constexpr uint8_t kShiftOut = '-';
constexpr int32_t kNotBase64 = -1;
constexpr uint32_t kBitsPerBase64Char = 6;
constexpr uint32_t kBitsPerUnit = 16;

// Set D of RFC 2152 plus space, tab, CR and LF: written as themselves.
// Everything else, Set O included, goes into a base64 run.
bool isUtf7Direct(uint16_t unit) {
    if ((unit >= 'A' && unit <= 'Z') || (unit >= 'a' && unit <= 'z') || (unit >= '0' && unit <= '9')) {
        return true;
    }
    switch (unit) {
        case '\'':
        case '(':
        case ')':
        case ',':
        case '-':
        case '.':
        case '/':
        case ':':
        case '?':
        case ' ':
        case '\t':
        case '\r':
        case '\n': return true;
        default: return false;
    }
}

int32_t base64Value(uint8_t c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return kNotBase64;
}

class Utf7Writer {
public:
    explicit Utf7Writer(DataBuffer& out) : m_out(out) {}

    void writeUnit(uint16_t unit) {
        if (unit == kShiftIn) {
            closeRun();
            m_out.appendChar(kShiftIn);
            m_out.appendChar(kShiftOut);
        } else if (isUtf7Direct(unit)) {
            closeRun();
            m_out.appendChar(static_cast<uint8_t>(unit));
        } else {
            writeShifted(unit);
        }
    }

    // Flushes the pending bits as a zero-padded character and writes '-'.
    void closeRun() {
        if (!m_inRun) {
            return;
        }
        if (m_pendingBits > 0) {
            const uint32_t padded = m_bits << (kBitsPerBase64Char - m_pendingBits);
            m_out.appendChar(static_cast<uint8_t>(kBase64Alphabet[padded & 0x3F]));
        }
        m_out.appendChar(kShiftOut);
        m_inRun = false;
        m_bits = 0;
        m_pendingBits = 0;
    }

private:
    void writeShifted(uint16_t unit) {
        if (!m_inRun) {
            m_out.appendChar(kShiftIn);
            m_inRun = true;
        }
        m_bits = (m_bits << kBitsPerUnit) | unit;
        m_pendingBits += kBitsPerUnit;
        while (m_pendingBits >= kBitsPerBase64Char) {
            m_pendingBits -= kBitsPerBase64Char;
            m_out.appendChar(static_cast<uint8_t>(kBase64Alphabet[(m_bits >> m_pendingBits) & 0x3F]));
        }
        m_bits &= (1u << m_pendingBits) - 1;
    }

    DataBuffer& m_out;
    bool m_inRun = false;
    uint32_t m_bits = 0;
    uint32_t m_pendingBits = 0;
};

}  // namespace

void utf16ToUtf7(const uint8_t* bytes, uint32_t count, DataBuffer& out) {
    Utf7Writer writer(out);
    uint32_t at = 0;
    if (count >= kUtf16UnitBytes && loadLittleEndian16(bytes) == kByteOrderMarkUnit) {
        at = kUtf16UnitBytes;
    }
    for (; at + 1 < count; at += kUtf16UnitBytes) {
        writer.writeUnit(loadLittleEndian16(bytes + at));
    }
    writer.closeRun();
}

namespace {

// Decodes one base64 run starting after its '+'; returns the index of the
// first byte after the run (a closing '-' is absorbed).
uint32_t decodeUtf7Run(const uint8_t* bytes, uint32_t count, uint32_t at, DataBuffer& out, bool& complete) {
    uint32_t bits = 0;
    uint32_t pendingBits = 0;
    uint32_t units = 0;
    for (; at < count; ++at) {
        const int32_t value = base64Value(bytes[at]);
        if (value == kNotBase64) {
            break;
        }
        bits = (bits << kBitsPerBase64Char) | static_cast<uint32_t>(value);
        pendingBits += kBitsPerBase64Char;
        if (pendingBits >= kBitsPerUnit) {
            pendingBits -= kBitsPerUnit;
            appendUtf16Unit(out, static_cast<uint16_t>(bits >> pendingBits));
            ++units;
        }
        bits &= (1u << pendingBits) - 1;
    }
    if (units == 0 || bits != 0) {
        complete = false;  // an empty run, or leftover bits that are not zero
    }
    if (at < count && bytes[at] == kShiftOut) {
        ++at;
    }
    return at;
}

}  // namespace

bool utf7ToUtf16(const uint8_t* bytes, uint32_t count, DataBuffer& out) {
    bool complete = true;
    uint32_t at = 0;
    while (at < count) {
        const uint8_t c = bytes[at];
        if (c == kShiftIn) {
            if (at + 1 < count && bytes[at + 1] == kShiftOut) {
                appendUtf16Unit(out, kShiftIn);
                at += 2;
            } else {
                at = decodeUtf7Run(bytes, count, at + 1, out, complete);
            }
        } else if (c > 0x7F) {
            complete = false;  // not a UTF-7 character: dropped
            ++at;
        } else {
            appendUtf16Unit(out, c);
            ++at;
        }
    }
    return complete;
}
