// InflateTable: the canonical Huffman decoding tables of the inflater.
//
// The expected codes come from RFC 1951 section 3.2.2 (the code of each
// symbol follows from the code lengths alone: shorter codes first, then by
// symbol), computed here independently of the table builder, and from the
// fixed code of section 3.2.6. Every code is looked up the way the decoder
// meets it: least-significant bit first, that is, the code read backwards,
// followed by unrelated bits.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "compress/DeflateFormat.h"
#include "compress/InflateTable.h"

namespace {

struct Code {
    uint32_t bits = 0;    // the code, most-significant bit first
    uint32_t length = 0;  // 0: the symbol has no code
};

// RFC 1951 3.2.2: count the codes per length, find the first code of each
// length, then hand out consecutive codes in symbol order.
std::vector<Code> canonicalCodes(const std::vector<uint8_t>& lengths) {
    uint32_t countByLength[16] = {};
    for (uint8_t length : lengths) countByLength[length]++;
    countByLength[0] = 0;
    uint32_t nextCode[16] = {};
    uint32_t code = 0;
    for (uint32_t bits = 1; bits <= 15; ++bits) {
        code = (code + countByLength[bits - 1]) << 1;
        nextCode[bits] = code;
    }
    std::vector<Code> codes(lengths.size());
    for (size_t symbol = 0; symbol < lengths.size(); ++symbol) {
        if (lengths[symbol] == 0) continue;
        codes[symbol].length = lengths[symbol];
        codes[symbol].bits = nextCode[lengths[symbol]]++;
    }
    return codes;
}

// The input bits as the decoder holds them: the code's first bit lowest,
// then `after` (bits that belong to whatever follows the code).
uint64_t asInputBits(const Code& code, uint64_t after) {
    uint64_t reversed = 0;
    for (uint32_t i = 0; i < code.length; ++i) reversed |= ((code.bits >> (code.length - 1 - i)) & 1u) << i;
    return reversed | (after << code.length);
}

std::vector<uint8_t> fixedLiteralLengthLengths() {
    std::vector<uint8_t> lengths(kDeflateFixedLiteralLengths);
    for (uint32_t symbol = 0; symbol < lengths.size(); ++symbol)
        lengths[symbol] = symbol <= 143 ? 8 : symbol <= 255 ? 9 : symbol <= 279 ? 7 : 8;
    return lengths;
}

// The bits after a code: a pattern, so that a decoder that reads too far or
// ignores extra bits shows it.
constexpr uint64_t kTrailingBits = 0x2D6B;

}  // namespace

TEST(InflateTableTest, ExampleOfTheFormatDescriptionDecodesEverySymbol) {
    // RFC 1951 3.2.2: lengths (3, 3, 3, 3, 3, 2, 4, 4) for A..H give
    // F = 00, A = 010, ..., E = 110, G = 1110, H = 1111.
    const std::vector<uint8_t> lengths = {3, 3, 3, 3, 3, 2, 4, 4};
    const std::vector<Code> codes = canonicalCodes(lengths);
    EXPECT_EQ(codes[5].bits, 0b00u);
    EXPECT_EQ(codes[0].bits, 0b010u);
    EXPECT_EQ(codes[4].bits, 0b110u);
    EXPECT_EQ(codes[7].bits, 0b1111u);

    for (uint32_t rootBits : {2u, 3u, 4u}) {
        InflateTable table;
        ASSERT_EQ(table.build(lengths.data(), 8, rootBits, InflateTable::Alphabet::CodeLengths),
                  InflateTableBuild::Complete);
        EXPECT_EQ(table.rootBits(), rootBits);
        for (uint32_t symbol = 0; symbol < 8; ++symbol) {
            uint32_t entry = table.lookup(asInputBits(codes[symbol], kTrailingBits));
            EXPECT_TRUE(InflateTable::isLiteral(entry)) << "symbol " << symbol << ", root " << rootBits;
            EXPECT_EQ(InflateTable::value(entry), symbol) << "root " << rootBits;
            EXPECT_EQ(InflateTable::codeBits(entry), lengths[symbol]);
            EXPECT_EQ(InflateTable::consumedBits(entry), lengths[symbol]);
        }
    }
}

TEST(InflateTableTest, FixedLiteralLengthCodeGivesLiteralsEndLengthsAndInvalidSymbols) {
    const std::vector<uint8_t> lengths = fixedLiteralLengthLengths();
    const std::vector<Code> codes = canonicalCodes(lengths);
    // RFC 1951 3.2.6: 0 is 00110000, 144 is 110010000, 256 is 0000000, 280 is 11000000.
    EXPECT_EQ(codes[0].bits, 0b00110000u);
    EXPECT_EQ(codes[144].bits, 0b110010000u);
    EXPECT_EQ(codes[256].bits, 0u);
    EXPECT_EQ(codes[280].bits, 0b11000000u);

    InflateTable table;
    ASSERT_EQ(table.build(lengths.data(), kDeflateFixedLiteralLengths, 7, InflateTable::Alphabet::LiteralLength),
              InflateTableBuild::Complete);
    EXPECT_EQ(table.rootBits(), 7u);  // the 8- and 9-bit codes sit in sub-tables
    for (uint32_t symbol = 0; symbol < kDeflateFixedLiteralLengths; ++symbol) {
        const std::string label = "symbol " + std::to_string(symbol);
        uint32_t entry = table.lookup(asInputBits(codes[symbol], kTrailingBits));
        EXPECT_EQ(InflateTable::codeBits(entry), lengths[symbol]) << label;
        if (symbol < kDeflateEndOfBlock) {
            ASSERT_TRUE(InflateTable::isLiteral(entry)) << label;
            EXPECT_EQ(InflateTable::value(entry), symbol) << label;
        } else if (symbol == kDeflateEndOfBlock) {
            EXPECT_TRUE(InflateTable::isExceptional(entry) && InflateTable::isEndOfBlock(entry)) << label;
        } else if (symbol < kDeflateLiteralLengthValid) {
            ASSERT_TRUE(InflateTable::isBase(entry)) << label;
            uint32_t index = symbol - kDeflateFirstLengthSymbol;
            EXPECT_EQ(InflateTable::value(entry), kDeflateLengthBase[index]) << label;
            EXPECT_EQ(InflateTable::extraBits(entry), kDeflateLengthExtraBits[index]) << label;
        } else {
            EXPECT_TRUE(InflateTable::isExceptional(entry) && InflateTable::isInvalid(entry)) << label;
        }
    }
}

TEST(InflateTableTest, BaseEntriesAddTheExtraBitsBehindTheirCode) {
    // Fixed codes: length symbol 265 is 11-12 (1 extra bit), 284 is 227-257
    // (5 extra bits), 285 is 258 (none); distance symbol 29 is 24,577-32,768
    // (13 extra bits), and 4 is 5-6 (1 extra bit).
    const std::vector<uint8_t> literalLengths = fixedLiteralLengthLengths();
    const std::vector<Code> literalCodes = canonicalCodes(literalLengths);
    InflateTable literalTable;
    literalTable.build(literalLengths.data(), kDeflateFixedLiteralLengths, 7, InflateTable::Alphabet::LiteralLength);
    const std::vector<uint8_t> distanceLengths(kDeflateFixedDistances, kDeflateFixedDistanceBits);
    const std::vector<Code> distanceCodes = canonicalCodes(distanceLengths);
    InflateTable distanceTable;
    distanceTable.build(distanceLengths.data(), kDeflateFixedDistances, 5, InflateTable::Alphabet::Distance);

    struct Case {
        const InflateTable* table;
        const Code* code;
        uint64_t extra;
        uint32_t expected;
    } cases[] = {
        {&literalTable, &literalCodes[265], 0, 11},
        {&literalTable, &literalCodes[265], 1, 12},
        {&literalTable, &literalCodes[284], 30, 257},
        {&literalTable, &literalCodes[285], 0, 258},
        {&distanceTable, &distanceCodes[0], 0, 1},
        {&distanceTable, &distanceCodes[4], 1, 6},
        {&distanceTable, &distanceCodes[29], 0, 24577},
        {&distanceTable, &distanceCodes[29], 8191, 32768},
    };
    for (const Case& c : cases) {
        uint32_t entry = c.table->lookup(asInputBits(*c.code, c.extra | (kTrailingBits << 13)));
        ASSERT_TRUE(InflateTable::isBase(entry)) << c.expected;
        // The extra bits of this row, then unrelated bits above them.
        uint64_t bits = asInputBits(*c.code, c.extra | (kTrailingBits << InflateTable::extraBits(entry)));
        EXPECT_EQ(InflateTable::baseWithExtra(entry, bits), c.expected);
        EXPECT_EQ(InflateTable::consumedBits(entry), c.code->length + InflateTable::extraBits(entry));
    }
    for (uint32_t symbol : {30u, 31u})
        EXPECT_TRUE(InflateTable::isInvalid(distanceTable.lookup(asInputBits(distanceCodes[symbol], 0))));
}

TEST(InflateTableTest, CodesUpToFifteenBitsDecodeThroughSubTables) {
    // A complete code with one code of each length 1..14 and two of 15 bits,
    // spread over the symbols, plus symbols without a code.
    std::vector<uint8_t> lengths(40, 0);
    for (uint32_t bits = 1; bits <= 14; ++bits) lengths[(bits * 7) % 40] = static_cast<uint8_t>(bits);
    lengths[1] = 15;
    lengths[38] = 15;
    const std::vector<Code> codes = canonicalCodes(lengths);
    InflateTable table;
    ASSERT_EQ(table.build(lengths.data(), 40, 9, InflateTable::Alphabet::CodeLengths), InflateTableBuild::Complete);
    EXPECT_EQ(table.rootBits(), 9u);
    EXPECT_GT(table.size(), 1u << 9);  // sub-tables behind the first level
    for (uint32_t symbol = 0; symbol < 40; ++symbol) {
        if (lengths[symbol] == 0) continue;
        uint32_t entry = table.lookup(asInputBits(codes[symbol], kTrailingBits));
        ASSERT_TRUE(InflateTable::isLiteral(entry)) << "symbol " << symbol;
        EXPECT_EQ(InflateTable::value(entry), symbol);
        EXPECT_EQ(InflateTable::codeBits(entry), lengths[symbol]);
    }
}

TEST(InflateTableTest, BuildVerdictsAndTheFirstLevelWidth) {
    struct Case {
        const char* label;
        std::vector<uint8_t> lengths;
        uint32_t rootBitsWanted;
        InflateTableBuild verdict;
        uint32_t rootBits;
    } cases[] = {
        {"two 1-bit codes", {1, 1}, 9, InflateTableBuild::Complete, 1},
        {"width raised to the shortest code", {0, 2, 2, 2, 2}, 1, InflateTableBuild::Complete, 2},
        {"width cut to the longest code", {3, 3, 3, 3, 3, 3, 3, 3}, 9, InflateTableBuild::Complete, 3},
        {"one 1-bit code", {0, 1}, 9, InflateTableBuild::Incomplete, 1},
        {"a 15-bit code missing", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}, 9,
         InflateTableBuild::Incomplete, 9},
        {"three 1-bit codes", {1, 1, 1}, 9, InflateTableBuild::OverSubscribed, 1},
        {"no code at all", {0, 0, 0, 0}, 9, InflateTableBuild::Empty, 1},
    };
    for (const Case& c : cases) {
        InflateTable table;
        EXPECT_EQ(table.build(c.lengths.data(), static_cast<uint32_t>(c.lengths.size()), c.rootBitsWanted,
                              InflateTable::Alphabet::CodeLengths),
                  c.verdict)
            << c.label;
        EXPECT_EQ(table.rootBits(), c.rootBits) << c.label;
    }
}

TEST(InflateTableTest, UnusedCodeSpaceAndRefusedCodesDecodeAsInvalid) {
    // One 1-bit code: input starting with 1 is invalid, known after one bit.
    const uint8_t oneCode[] = {0, 1};
    InflateTable incomplete;
    incomplete.build(oneCode, 2, 9, InflateTable::Alphabet::CodeLengths);
    EXPECT_TRUE(InflateTable::isLiteral(incomplete.lookup(0b10)));
    EXPECT_EQ(InflateTable::value(incomplete.lookup(0b10)), 1u);
    uint32_t unused = incomplete.lookup(0b01);
    EXPECT_TRUE(InflateTable::isExceptional(unused) && InflateTable::isInvalid(unused));
    EXPECT_EQ(InflateTable::codeBits(unused), 1u);

    // Unused space behind a sub-table is known only after the sub-table's bits.
    const uint8_t longest[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
    InflateTable deep;
    deep.build(longest, 15, 9, InflateTable::Alphabet::CodeLengths);
    uint32_t deepUnused = deep.lookup(0x7FFF);  // fifteen 1 bits: the code 111...1 nobody has
    EXPECT_TRUE(InflateTable::isInvalid(deepUnused));
    EXPECT_EQ(InflateTable::codeBits(deepUnused), 15u);

    // Over-subscribed and empty codes: every input is invalid.
    const uint8_t tooMany[] = {1, 1, 1};
    InflateTable refused;
    refused.build(tooMany, 3, 9, InflateTable::Alphabet::CodeLengths);
    for (uint64_t bits : {0ull, 1ull, 0xFFFFull}) EXPECT_TRUE(InflateTable::isInvalid(refused.lookup(bits)));
    InflateTable fresh;
    EXPECT_TRUE(InflateTable::isInvalid(fresh.lookup(0)));
}
