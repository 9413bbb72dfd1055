#pragma once
// InflateTable: a multi-level lookup table that decodes one canonical
// Huffman code of a deflate stream (the code-length code, a literal/length
// code or a distance code).
//
// The first level is indexed by the next rootBits() input bits (taken
// least-significant first, which is the code read backwards). A code no
// longer than rootBits() fills every first-level slot that starts with it;
// a longer code continues in a sub-table that the first-level slot links to,
// indexed by the bits that follow the first rootBits().
//
// Entry layout (32 bits):
//   bits 0-7   code length in bits: what decoding the entry consumes (for a
//              link entry, the first-level width; for an invalid entry, how
//              many input bits it takes to know the code is invalid)
//   bits 8-15  kind: kEntryLiteral, kEntryEndOfBlock, kEntryInvalid,
//              kEntryLink | sub-table width, or a base with 0-13 extra bits
//   bits 16-31 value: the literal, the length or distance base, or the
//              offset of the linked sub-table

#include <cstdint>
#include <vector>

// Kinds of table entries (bits 8-15). Values 0..13 mean "a length or
// distance base followed by that many extra bits".
constexpr uint32_t kEntryMaxExtraBits = 13;
constexpr uint32_t kEntryLiteral = 0x10;
constexpr uint32_t kEntryEndOfBlock = 0x20;
constexpr uint32_t kEntryLink = 0x40;  // | sub-table width in bits (1..15)
constexpr uint32_t kEntryInvalid = 0x80;

inline uint32_t entryBits(uint32_t entry) { return entry & 0xFFu; }
inline uint32_t entryKind(uint32_t entry) { return (entry >> 8) & 0xFFu; }
inline uint32_t entryValue(uint32_t entry) { return entry >> 16; }
inline uint32_t makeEntry(uint32_t bits, uint32_t kind, uint32_t value) {
    return bits | (kind << 8) | (value << 16);
}

// Outcome of building a table from code lengths.
enum class InflateTableBuild {
    Complete,        // the lengths fill the code space exactly
    Incomplete,      // some code space unused; unused slots decode as invalid
    OverSubscribed,  // more codes than the lengths allow; every slot invalid
    Empty,           // no symbol has a code; every slot invalid
};

class InflateTable {
public:
    // Which alphabet the symbols belong to: decides what each entry means.
    enum class Alphabet {
        CodeLengths,    // symbols 0-18, decoded as literal values
        LiteralLength,  // 0-255 literals, 256 end of block, 257-285 lengths, 286-287 invalid
        Distance,       // 0-29 distances, 30-31 invalid
    };

    InflateTable();

    // Builds the table for `count` symbols whose code lengths (0 = unused,
    // at most 15) are lengths[0..count). The first-level width is
    // rootBitsWanted moved into [shortest, longest] code length present.
    // An OverSubscribed or Empty code leaves a table whose every entry is
    // invalid; an Incomplete one decodes its codes and marks the rest invalid.
    InflateTableBuild build(const uint8_t* lengths, uint32_t count, uint32_t rootBitsWanted,
                            Alphabet alphabet);

    // Makes every input decode as an invalid entry.
    void makeInvalid();

    const uint32_t* entries() const { return m_entries.data(); }
    uint32_t rootBits() const { return m_rootBits; }
    uint32_t size() const { return static_cast<uint32_t>(m_entries.size()); }

    // Looks up the entry for the next input bits (least-significant first),
    // following a link into its sub-table. Requires enough valid bits in
    // `bits` for the longest code (15).
    uint32_t lookup(uint64_t bits) const;

private:
    static uint32_t entryForSymbol(uint32_t symbol, uint32_t codeBits, Alphabet alphabet);
    static uint32_t reverseBits(uint32_t code, uint32_t bitCount);
    static uint32_t subTableBits(uint32_t codeBits, uint32_t rootBits, uint32_t maxBits,
                                 const uint32_t* remainingByLength);

    std::vector<uint32_t> m_entries;
    uint32_t m_rootBits;
};
