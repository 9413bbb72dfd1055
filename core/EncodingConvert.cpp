#include "core/EncodingConvert.h"

#include "core/ByteOrder.h"
#include "core/CodePageTable.h"
#include "core/ConvertState.h"
#include "core/DataBuffer.h"
#include "core/EncodingUtf32.h"
#include "core/EncodingUtf7.h"
#include "core/EncodingUtf8.h"
#include "core/Utf16Units.h"

namespace {

// ISO-2022 code pages: stateful, not converted.
constexpr uint32_t kRefusedCodePages[] = {50220, 50221, 50222, 50225};

constexpr uint8_t kUtf8Bom[] = {0xEF, 0xBB, 0xBF};
// Output room reserved up front, beyond the estimate from the input size.
constexpr uint32_t kReserveSlackBytes = 4;

bool isRefused(uint32_t codePage) {
    for (uint32_t refused : kRefusedCodePages) {
        if (codePage == refused) {
            return true;
        }
    }
    return false;
}

#ifdef BRIVANE_ANSI_CODE_PAGE_TABLES_ONLY
bool isUtf7OrUtf32(uint32_t codePage) {
    return codePage == CodePage::kUtf7 || codePage == CodePage::kUtf32LE || codePage == CodePage::kUtf32BE;
}
#endif

bool isComputed(uint32_t codePage) {
    switch (codePage) {
        case CodePage::kUtf16LE:
        case CodePage::kUtf16BE:
        case CodePage::kUtf7:
        case CodePage::kUtf8:
        case CodePage::kUtf32LE:
        case CodePage::kUtf32BE: return true;
        default: return false;
    }
}

void reserveMore(DataBuffer& out, uint64_t bytes) {
    const uint64_t wanted = out.getSize() + bytes;
    if (wanted <= UINT32_MAX) {
        out.ensureCapacity(static_cast<uint32_t>(wanted));
    }
}

// --- UTF-16 byte order -----------------------------------------------------------

// Appends the whole units of bytes with their two bytes exchanged.
void appendSwappedUnits(const uint8_t* bytes, uint32_t count, DataBuffer& out) {
    for (uint32_t i = 0; i + 1 < count; i += kUtf16UnitBytes) {
        out.appendChar(bytes[i + 1]);
        out.appendChar(bytes[i]);
    }
}

// --- UTF-8 <-> UTF-16 through the per-character coder ------------------------

// Odd counts lose their last byte and report false, as does a single byte.
bool utf16ToUtf8(const uint8_t* bytes, uint32_t count, DataBuffer& out) {
    const EncodingUtf8& coder = EncodingUtf8::shared();
    ConvertState state;
    for (uint32_t i = 0; i + 1 < count; i += kUtf16UnitBytes) {
        coder.encodeChar(state, loadLittleEndian16(bytes + i), out);
    }
    return count % kUtf16UnitBytes == 0;
}

// Bytes that do not start a valid sequence are dropped one at a time; the
// result stays true.
bool utf8ToUtf16(const uint8_t* bytes, uint32_t count, DataBuffer& out) {
    const EncodingUtf8& coder = EncodingUtf8::shared();
    ConvertState state;
    uint32_t at = 0;
    while (at < count) {
        uint16_t unit = 0;
        const int32_t used = coder.decodeChar(state, bytes + at, count - at, unit);
        if (used > 0) {
            appendUtf16Unit(out, unit);
            at += static_cast<uint32_t>(used);
        } else {
            ++at;
        }
    }
    return true;
}

// --- Arabic-Indic digits -----------------------------------------------------------

constexpr uint16_t kArabicIndicZero = 0x0660;
constexpr uint16_t kExtendedArabicIndicZero = 0x06F0;
constexpr uint16_t kDigitCount = 10;

// 28596 and 1256 have no Arabic-Indic digits: they are written as the
// ASCII digits.
bool foldsArabicDigits(uint32_t codePage) { return codePage == 28596 || codePage == 1256; }

uint16_t foldArabicDigit(uint16_t unit) {
    if (unit >= kArabicIndicZero && unit < kArabicIndicZero + kDigitCount) {
        return static_cast<uint16_t>('0' + (unit - kArabicIndicZero));
    }
    if (unit >= kExtendedArabicIndicZero && unit < kExtendedArabicIndicZero + kDigitCount) {
        return static_cast<uint16_t>('0' + (unit - kExtendedArabicIndicZero));
    }
    return unit;
}

}  // namespace

// --- EncodingConvert ---------------------------------------------------------------

EncodingConvert::EncodingConvert()
    : m_sourceCodePage(0), m_targetCodePage(0), m_toPivot(false), m_fromPivot(false) {}

EncodingConvert::~EncodingConvert() = default;

bool EncodingConvert::isRecognised(uint32_t codePage) {
    return isComputed(codePage) || CodePageTable::isTableCodePage(codePage);
}

bool EncodingConvert::convert(uint32_t sourceCodePage, uint32_t targetCodePage, const void* bytes,
                              uint32_t count, DataBuffer& out) {
    m_sourceCodePage = sourceCodePage;
    m_targetCodePage = targetCodePage;
    const uint8_t* input = static_cast<const uint8_t*>(bytes);

    if (targetCodePage == 0 || targetCodePage == sourceCodePage) {
        out.append(input, count);
        return true;
    }
    if (isRefused(sourceCodePage) || isRefused(targetCodePage)) {
        return false;
    }
    if (!isRecognised(sourceCodePage) || !isRecognised(targetCodePage)) {
        return false;
    }
#ifdef BRIVANE_ANSI_CODE_PAGE_TABLES_ONLY
    // The installer converts only between the ANSI code page, UTF-8 and
    // UTF-16 (GetACP names neither UTF-7 nor UTF-32): it carries no coder
    // for those two.
    if (isUtf7OrUtf32(sourceCodePage) || isUtf7OrUtf32(targetCodePage)) {
        return false;
    }
#endif

    switch (targetCodePage) {
        case CodePage::kUtf16BE: {
            DataBuffer pivot;
            const bool complete = convertBody(sourceCodePage, CodePage::kUtf16LE, input, count, pivot);
            appendSwappedUnits(pivot.getData(), pivot.getSize(), out);
            return complete;
        }
#ifndef BRIVANE_ANSI_CODE_PAGE_TABLES_ONLY
        case CodePage::kUtf7: {
            DataBuffer pivot;
            const bool complete = convertBody(sourceCodePage, CodePage::kUtf16LE, input, count, pivot);
            utf16ToUtf7(pivot.getData(), pivot.getSize(), out);
            return complete;
        }
        case CodePage::kUtf32LE:
        case CodePage::kUtf32BE: {
            DataBuffer utf8;
            const bool complete = convertBody(sourceCodePage, CodePage::kUtf8, input, count, utf8);
            const bool written =
                utf8ToUtf32(utf8.getData(), utf8.getSize(), targetCodePage == CodePage::kUtf32BE, out);
            return complete && written;
        }
#endif
        default: return convertBody(sourceCodePage, targetCodePage, input, count, out);
    }
}

bool EncodingConvert::convertBody(uint32_t sourceCodePage, uint32_t targetCodePage, const uint8_t* bytes,
                                  uint32_t count, DataBuffer& out) {
    if (bytes == nullptr || count == 0) {
        return true;
    }

    // Byte-order marks: for UTF-16 the mark overrides the code page number.
    if (sourceCodePage == CodePage::kUtf16LE || sourceCodePage == CodePage::kUtf16BE) {
        if (count >= kUtf16UnitBytes && bytes[0] == 0xFF && bytes[1] == 0xFE) {
            sourceCodePage = CodePage::kUtf16LE;
            bytes += kUtf16UnitBytes;
            count -= kUtf16UnitBytes;
        } else if (count >= kUtf16UnitBytes && bytes[0] == 0xFE && bytes[1] == 0xFF) {
            sourceCodePage = CodePage::kUtf16BE;
            bytes += kUtf16UnitBytes;
            count -= kUtf16UnitBytes;
        }
    } else if (sourceCodePage == CodePage::kUtf8 && count >= sizeof(kUtf8Bom) && bytes[0] == kUtf8Bom[0] &&
               bytes[1] == kUtf8Bom[1] && bytes[2] == kUtf8Bom[2]) {
        bytes += sizeof(kUtf8Bom);
        count -= sizeof(kUtf8Bom);
    }
    if (count == 0) {
        return true;
    }
    if (sourceCodePage == targetCodePage) {
        out.append(bytes, count);
        return true;
    }

    // Bring the source to UTF-16LE or UTF-8.
    DataBuffer normalised;
    bool complete = true;
    switch (sourceCodePage) {
        case CodePage::kUtf16BE:
            appendSwappedUnits(bytes, count, normalised);
            sourceCodePage = CodePage::kUtf16LE;
            break;
#ifndef BRIVANE_ANSI_CODE_PAGE_TABLES_ONLY
        case CodePage::kUtf7:
            complete = utf7ToUtf16(bytes, count, normalised);
            sourceCodePage = CodePage::kUtf16LE;
            break;
        case CodePage::kUtf32LE:
        case CodePage::kUtf32BE:
            complete = utf32ToUtf8(bytes, count, sourceCodePage == CodePage::kUtf32BE, normalised);
            sourceCodePage = CodePage::kUtf8;
            break;
#endif
        default: return convertNormalised(sourceCodePage, targetCodePage, bytes, count, out);
    }
    const bool converted =
        convertNormalised(sourceCodePage, targetCodePage, normalised.getData(), normalised.getSize(), out);
    return complete && converted;
}

bool EncodingConvert::convertNormalised(uint32_t sourceCodePage, uint32_t targetCodePage,
                                        const uint8_t* bytes, uint32_t count, DataBuffer& out) {
    if (count == 0) {
        return true;
    }
    m_toPivot = false;
    m_fromPivot = false;
    if (sourceCodePage == CodePage::kUtf16LE) {
        reserveMore(out, count / 2 + kReserveSlackBytes);
        if (targetCodePage == CodePage::kUtf16LE) {
            out.append(bytes, count);
            return true;
        }
        return convertFromUtf16(targetCodePage, bytes, count, out);
    }
    if (targetCodePage == CodePage::kUtf16LE) {
        reserveMore(out, static_cast<uint64_t>(count) * 2);
        return convertToUtf16(sourceCodePage, bytes, count, out);
    }

    // Neither side is UTF-16: both halves through the pivot. Characters lost
    // in either half make the whole conversion incomplete.
    DataBuffer pivot(static_cast<uint32_t>(static_cast<uint64_t>(count) * 2 + kReserveSlackBytes > UINT32_MAX
                                               ? UINT32_MAX
                                               : static_cast<uint64_t>(count) * 2 + kReserveSlackBytes));
    m_toPivot = true;
    const bool decoded = convertToUtf16(sourceCodePage, bytes, count, pivot);
    m_toPivot = false;
    m_fromPivot = true;
    const bool encoded =
        pivot.getSize() == 0 ? true : convertFromUtf16(targetCodePage, pivot.getData(), pivot.getSize(), out);
    m_fromPivot = false;
    return decoded && encoded;
}

bool EncodingConvert::convertToUtf16(uint32_t sourceCodePage, const uint8_t* bytes, uint32_t count,
                                     DataBuffer& out) {
    if (sourceCodePage == CodePage::kUtf8) {
        return utf8ToUtf16(bytes, count, out);
    }
    const CodePageTable* table = CodePageTable::forCodePage(sourceCodePage);
    return table != nullptr && decodeTable(*table, bytes, count, out);
}

bool EncodingConvert::convertFromUtf16(uint32_t targetCodePage, const uint8_t* bytes, uint32_t count,
                                       DataBuffer& out) {
    if (targetCodePage == CodePage::kUtf8) {
        return utf16ToUtf8(bytes, count, out);
    }
    const CodePageTable* table = CodePageTable::forCodePage(targetCodePage);
    return table != nullptr && encodeTable(*table, bytes, count, out);
}

namespace {

// Decodes one byte on its own: byte 0 gives unit 0; with asciiDirect a byte
// below 0x80 gives itself; otherwise a 1-byte lookup.
bool decodeSingleByteKey(const HashConvert& decoder, uint8_t b, DataBuffer& out) {
    if (b == 0 || (decoder.asciiDirect && b < 0x80)) {
        appendUtf16Unit(out, b);
        return true;
    }
    uint8_t value[HashConvert::kMaxSequenceBytes];
    const uint32_t found = decoder.lookup(&b, 1, value);
    if (found == 0) {
        return false;
    }
    out.append(value, found);
    return true;
}

constexpr uint32_t kLongestDoubleByteKey = 4;

}  // namespace

bool EncodingConvert::decodeTable(const CodePageTable& table, const uint8_t* bytes, uint32_t count,
                                  DataBuffer& out) {
    bool complete = true;
    if (table.kind == CodePageTable::Kind::SingleByte) {
        for (uint32_t i = 0; i < count; ++i) {
            const uint8_t b = bytes[i];
            const uint16_t unit = table.lookup.unitOf(b);
            if (b != 0 && unit == 0) {
                complete = false;  // no mapping: dropped
                continue;
            }
            appendUtf16Unit(out, unit);
        }
        return complete;
    }

    // Double-byte: the longest stored key of 2, 3 or 4 bytes wins, tried
    // from the shortest; otherwise one byte on its own.
    uint32_t at = 0;
    while (at < count) {
        const uint32_t left = count - at;
        uint32_t used = 0;
        if (left >= 2) {
            uint8_t value[HashConvert::kMaxSequenceBytes];
            for (uint32_t keyLength = 2; keyLength <= kLongestDoubleByteKey && keyLength <= left;
                 ++keyLength) {
                const uint32_t found = table.decoder.lookup(bytes + at, keyLength, value);
                if (found != 0) {
                    out.append(value, found);
                    used = keyLength;
                    break;
                }
            }
        }
        if (used == 0) {
            if (!decodeSingleByteKey(table.decoder, bytes[at], out)) {
                complete = false;
            }
            used = 1;
        }
        at += used;
    }
    return complete;
}

bool EncodingConvert::encodeTable(const CodePageTable& table, const uint8_t* bytes, uint32_t count,
                                  DataBuffer& out) {
    if (count < kUtf16UnitBytes) {
        return false;
    }
    const bool foldDigits = foldsArabicDigits(table.codePage);
    bool complete = true;
    uint8_t value[HashConvert::kMaxSequenceBytes];
    for (uint32_t at = 0; at + 1 < count; at += kUtf16UnitBytes) {
        uint16_t unit = loadLittleEndian16(bytes + at);
        if (foldDigits) {
            unit = foldArabicDigit(unit);
        }
        if (table.encoder.asciiDirect && unit < 0x80) {
            out.appendChar(static_cast<uint8_t>(unit));
            continue;
        }
        const uint8_t key[kUtf16UnitBytes] = {static_cast<uint8_t>(unit), static_cast<uint8_t>(unit >> 8)};
        const uint32_t found = table.encoder.lookup(key, kUtf16UnitBytes, value);
        if (found != 0) {
            out.append(value, found);
        } else if (unit == 0) {
            out.appendChar(0);
        } else {
            complete = false;  // no mapping: dropped
        }
    }
    return complete;
}
