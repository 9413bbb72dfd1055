#include "compress/InflateTable.h"

#include <cstddef>

#include "compress/DeflateFormat.h"

// A table that decodes nothing: one bit, both values invalid after 0 bits.
InflateTable::InflateTable() : m_entries(2, invalidEntry(0)), m_rootBits(1) {}

void InflateTable::makeInvalid() {
    m_rootBits = 1;
    m_entries.assign(2, invalidEntry(0));
}

uint32_t InflateTable::lookup(uint64_t bits) const {
    uint32_t entry = m_entries[bits & ((1u << m_rootBits) - 1)];
    if (!isLink(entry)) return entry;
    uint32_t index = static_cast<uint32_t>(bits >> m_rootBits) & ((1u << codeBits(entry)) - 1);
    return m_entries[value(entry) + index];
}

uint32_t InflateTable::entryForSymbol(uint32_t symbol, uint32_t codeBits, Alphabet alphabet) {
    switch (alphabet) {
        case Alphabet::CodeLengths: return literalEntry(codeBits, symbol);
        case Alphabet::LiteralLength:
            if (symbol < kDeflateEndOfBlock) return literalEntry(codeBits, symbol);
            if (symbol == kDeflateEndOfBlock) return endOfBlockEntry(codeBits);
            if (symbol < kDeflateLiteralLengthValid) {
                uint32_t index = symbol - kDeflateFirstLengthSymbol;
                return baseEntry(codeBits, kDeflateLengthExtraBits[index], kDeflateLengthBase[index]);
            }
            return invalidEntry(codeBits);
        case Alphabet::Distance:
            if (symbol < kDeflateDistanceValid)
                return baseEntry(codeBits, kDeflateDistanceExtraBits[symbol], kDeflateDistanceBase[symbol]);
            return invalidEntry(codeBits);
    }
    return invalidEntry(codeBits);
}

uint32_t InflateTable::reverseBits(uint32_t code, uint32_t bitCount) {
    uint32_t reversed = 0;
    for (uint32_t i = 0; i < bitCount; ++i) {
        reversed = (reversed << 1) | (code & 1u);
        code >>= 1;
    }
    return reversed;
}

// Width of the sub-table that starts with a code of codeBits bits. The codes
// that share its first rootBits bits follow one another in canonical order,
// so the sub-table grows until the remaining codes of each length, taken in
// order, fill it. For an incomplete code the last sub-table may stay partly
// empty; it then reaches the longest code length.
uint32_t InflateTable::subTableBits(uint32_t codeBits, uint32_t rootBits, uint32_t maxBits,
                                    const uint32_t* remainingByLength) {
    uint32_t bits = codeBits - rootBits;
    int32_t space = 1 << bits;
    while (rootBits + bits < maxBits) {
        space -= static_cast<int32_t>(remainingByLength[rootBits + bits]);
        if (space <= 0) break;
        ++bits;
        space <<= 1;
    }
    return bits;
}

InflateTableBuild InflateTable::build(const uint8_t* lengths, uint32_t count, uint32_t rootBitsWanted,
                                      Alphabet alphabet) {
    if (count > kDeflateLiteralLengthMax) {
        makeInvalid();
        return InflateTableBuild::OverSubscribed;
    }
    // 1. Count the codes of each length and find the shortest and longest.
    uint32_t countByLength[kDeflateMaxCodeBits + 1] = {};
    for (uint32_t symbol = 0; symbol < count; ++symbol) countByLength[lengths[symbol]]++;
    uint32_t minBits = 0;
    uint32_t maxBits = 0;
    for (uint32_t bits = 1; bits <= kDeflateMaxCodeBits; ++bits) {
        if (countByLength[bits] == 0) continue;
        if (minBits == 0) minBits = bits;
        maxBits = bits;
    }
    if (maxBits == 0) {
        makeInvalid();
        return InflateTableBuild::Empty;
    }

    // 2. Check the lengths against the code space: each length halves it.
    int32_t spaceLeft = 1;
    for (uint32_t bits = 1; bits <= kDeflateMaxCodeBits; ++bits) {
        spaceLeft <<= 1;
        spaceLeft -= static_cast<int32_t>(countByLength[bits]);
        if (spaceLeft < 0) {
            makeInvalid();
            return InflateTableBuild::OverSubscribed;
        }
    }

    // 3. Sort the symbols by code length, then by symbol: canonical order.
    uint32_t offsets[kDeflateMaxCodeBits + 2] = {};
    for (uint32_t bits = 1; bits <= kDeflateMaxCodeBits; ++bits)
        offsets[bits + 1] = offsets[bits] + countByLength[bits];
    uint16_t sorted[kDeflateLiteralLengthMax];
    for (uint32_t symbol = 0; symbol < count; ++symbol)
        if (lengths[symbol] != 0) sorted[offsets[lengths[symbol]]++] = static_cast<uint16_t>(symbol);
    uint32_t codeCount = offsets[maxBits];  // after the loop offsets[b] is the end of length b

    // 4. Lay out the first level, then place each code in canonical order.
    uint32_t rootBits = rootBitsWanted;
    if (rootBits > maxBits) rootBits = maxBits;
    if (rootBits < minBits) rootBits = minBits;
    m_rootBits = rootBits;
    // Slots no code reaches stay invalid; their bit count is how many input
    // bits decide that, so a decoder can tell a bad code from a cut one.
    m_entries.assign(size_t{1} << rootBits, invalidEntry(rootBits));

    uint32_t remaining[kDeflateMaxCodeBits + 1];
    for (uint32_t bits = 0; bits <= kDeflateMaxCodeBits; ++bits) remaining[bits] = countByLength[bits];

    uint32_t code = 0;  // canonical code, most-significant bit first
    uint32_t codeBits = minBits;
    uint32_t openPrefix = UINT32_MAX;  // first-level slot of the current sub-table
    uint32_t subStart = 0;
    uint32_t subBits = 0;
    for (uint32_t i = 0; i < codeCount; ++i) {
        uint32_t symbol = sorted[i];
        while (lengths[symbol] != codeBits) {  // next length: codes continue one bit longer
            code <<= 1;
            ++codeBits;
        }
        uint32_t entry = entryForSymbol(symbol, codeBits, alphabet);
        uint32_t reversed = reverseBits(code, codeBits);
        if (codeBits <= rootBits) {
            for (uint32_t slot = reversed; slot < (1u << rootBits); slot += 1u << codeBits)
                m_entries[slot] = entry;
        } else {
            uint32_t prefix = reversed & ((1u << rootBits) - 1);
            if (prefix != openPrefix) {
                openPrefix = prefix;
                subBits = subTableBits(codeBits, rootBits, maxBits, remaining);
                subStart = static_cast<uint32_t>(m_entries.size());
                m_entries.resize(m_entries.size() + (size_t{1} << subBits), invalidEntry(rootBits + subBits));
                m_entries[prefix] = linkEntry(rootBits, subBits, subStart);
            }
            for (uint32_t slot = reversed >> rootBits; slot < (1u << subBits);
                 slot += 1u << (codeBits - rootBits))
                m_entries[subStart + slot] = entry;
        }
        remaining[codeBits]--;
        ++code;
    }
    return spaceLeft == 0 ? InflateTableBuild::Complete : InflateTableBuild::Incomplete;
}
