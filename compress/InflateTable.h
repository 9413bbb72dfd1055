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
// Entry layout (32 bits), laid out so that the decoder's hot loop needs one
// test per decision and one shift to consume a symbol with its extra bits:
//   bits 0-7    bits the entry consumes: the code length plus, for a length
//               or distance base, its extra bits (for a link entry, the
//               first-level width; for an invalid entry, how many input bits
//               it takes to know the code is invalid)
//   bits 8-11   the code length alone (for a link entry, the sub-table width)
//   bit  12     invalid (a symbol that never occurs in valid data, or code
//               space no code uses)
//   bit  13     end of block
//   bit  14     link to a sub-table
//   bit  15     exceptional: set together with each of the three above, so
//               that one test separates them from literals and bases
//   bits 16-30  value: the literal, the length or distance base, or the
//               offset of the linked sub-table
//   bit  31     literal (the value is the literal byte or code-length symbol)
// An entry with neither bit 15 nor bit 31 is a length or distance base whose
// extra bits follow its code.

#include <cstdint>
#include <vector>

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

    // Entry flags (see the layout above).
    static constexpr uint32_t kInvalidFlag = 0x1000u;
    static constexpr uint32_t kEndOfBlockFlag = 0x2000u;
    static constexpr uint32_t kLinkFlag = 0x4000u;
    static constexpr uint32_t kExceptionalFlag = 0x8000u;
    static constexpr uint32_t kLiteralFlag = 0x80000000u;
    // Sub-table offsets and distance bases stay below this (15 bits).
    static constexpr uint32_t kValueLimit = 0x8000u;

    static uint32_t consumedBits(uint32_t entry) { return entry & 0xFFu; }
    static uint32_t codeBits(uint32_t entry) { return (entry >> 8) & 0x0Fu; }
    static uint32_t extraBits(uint32_t entry) { return consumedBits(entry) - codeBits(entry); }
    static uint32_t value(uint32_t entry) { return (entry >> 16) & (kValueLimit - 1); }
    static bool isLiteral(uint32_t entry) { return (entry & kLiteralFlag) != 0; }
    static bool isExceptional(uint32_t entry) { return (entry & kExceptionalFlag) != 0; }
    static bool isLink(uint32_t entry) { return (entry & kLinkFlag) != 0; }
    static bool isEndOfBlock(uint32_t entry) { return (entry & kEndOfBlockFlag) != 0; }
    static bool isInvalid(uint32_t entry) { return (entry & kInvalidFlag) != 0; }
    // A length or distance base: neither literal nor exceptional.
    static bool isBase(uint32_t entry) { return (entry & (kLiteralFlag | kExceptionalFlag)) == 0; }

    // The length or distance a base entry stands for, given the input bits
    // that start with its code: the base plus the extra bits behind the code.
    static uint32_t baseWithExtra(uint32_t entry, uint64_t bits) {
        uint64_t codeAndExtra = bits & ((uint64_t{1} << consumedBits(entry)) - 1);
        return (entry >> 16) + static_cast<uint32_t>(codeAndExtra >> codeBits(entry));
    }

    static uint32_t literalEntry(uint32_t codeBits, uint32_t symbol) {
        return kLiteralFlag | (symbol << 16) | (codeBits << 8) | codeBits;
    }
    static uint32_t baseEntry(uint32_t codeBits, uint32_t extraBits, uint32_t base) {
        return (base << 16) | (codeBits << 8) | (codeBits + extraBits);
    }
    static uint32_t endOfBlockEntry(uint32_t codeBits) {
        return kExceptionalFlag | kEndOfBlockFlag | (codeBits << 8) | codeBits;
    }
    static uint32_t invalidEntry(uint32_t decidingBits) {
        return kExceptionalFlag | kInvalidFlag | (decidingBits << 8) | decidingBits;
    }
    static uint32_t linkEntry(uint32_t rootBits, uint32_t subTableBits, uint32_t offset) {
        return kExceptionalFlag | kLinkFlag | (offset << 16) | (subTableBits << 8) | rootBits;
    }

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
