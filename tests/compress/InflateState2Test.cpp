// InflateState2: hand-built streams for every block kind and every fault,
// the window-granular delivery to the sink, and the sink refusing space.
// Streams are written field by field with BitWriter; each case says what it
// exercises.

#include <gtest/gtest.h>

#include <cstring>
#include <utility>
#include <vector>

#include "compress/InflateState2.h"
#include "tests/compress/CompressTestSupport.h"

using namespace compress_test;

namespace {

// Canonical Huffman codes (RFC 1951 section 3.2.2) for a list of lengths.
std::vector<uint32_t> canonicalCodes(const std::vector<uint8_t>& lengths) {
    uint32_t countByLength[16] = {};
    for (uint8_t length : lengths) countByLength[length]++;
    countByLength[0] = 0;
    uint32_t nextCode[16] = {};
    uint32_t code = 0;
    for (uint32_t bits = 1; bits < 16; ++bits) {
        code = (code + countByLength[bits - 1]) << 1;
        nextCode[bits] = code;
    }
    std::vector<uint32_t> codes(lengths.size(), 0);
    for (size_t symbol = 0; symbol < lengths.size(); ++symbol)
        if (lengths[symbol] != 0) codes[symbol] = nextCode[lengths[symbol]]++;
    return codes;
}

// One code-length symbol of a dynamic header with its extra-bit value.
struct LengthSymbol {
    uint32_t symbol;
    uint32_t extra;
};

// Writes a dynamic block header: HLIT, HDIST, HCLEN, the code-length code
// lengths (given by code-length symbol 0..18), then the length symbols coded
// with that code. Returns nothing; the caller writes the block data.
void writeDynamicHeader(BitWriter& out, uint32_t literalLengthCount, uint32_t distanceCount,
                        const std::vector<uint8_t>& codeLengthLengths, const std::vector<LengthSymbol>& symbols) {
    out.bits(literalLengthCount - 257, 5);  // HLIT
    out.bits(distanceCount - 1, 5);         // HDIST
    uint32_t sent = 19;
    while (sent > 4 && codeLengthLengths[kDeflateCodeLengthOrder[sent - 1]] == 0) --sent;
    out.bits(sent - 4, 4);  // HCLEN
    for (uint32_t i = 0; i < sent; ++i) out.bits(codeLengthLengths[kDeflateCodeLengthOrder[i]], 3);
    std::vector<uint32_t> codes = canonicalCodes(codeLengthLengths);
    for (const LengthSymbol& entry : symbols) {
        out.code(codes[entry.symbol], codeLengthLengths[entry.symbol]);
        if (entry.symbol == 16) out.bits(entry.extra, 2);
        if (entry.symbol == 17) out.bits(entry.extra, 3);
        if (entry.symbol == 18) out.bits(entry.extra, 7);
    }
}

// The code-length code used by the small dynamic blocks below: symbols 0, 1,
// 16 and 18, two bits each (a complete code).
std::vector<uint8_t> smallCodeLengthCode() {
    std::vector<uint8_t> lengths(19, 0);
    lengths[0] = lengths[1] = lengths[16] = lengths[18] = 2;
    return lengths;
}

// Literal/length code {'A': 1 bit, end-of-block: 1 bit} and one distance
// length, 0, sent as: 16 (first symbol: repeats the initial previous
// length 0) x6, 18 x59, 1, 18 x138, 18 x52, 1, 0.
std::vector<LengthSymbol> aAndEndOfBlockLengths(bool startWithRepeat) {
    std::vector<LengthSymbol> symbols;
    if (startWithRepeat) {
        symbols.push_back({16, 3});   // 6 x previous (0)
        symbols.push_back({18, 48});  // 59 zeros: symbols 6..64
    } else {
        symbols.push_back({18, 54});  // 65 zeros: symbols 0..64
    }
    symbols.push_back({1, 0});     // 'A' (65): length 1
    symbols.push_back({18, 127});  // 138 zeros: 66..203
    symbols.push_back({18, 41});   // 52 zeros: 204..255
    symbols.push_back({1, 0});     // end of block (256): length 1
    symbols.push_back({0, 0});     // distance 0: unused
    return symbols;
}

Bytes bytesOf(std::initializer_list<uint8_t> list) { return Bytes(list); }

struct MalformedCase {
    const char* label;
    Bytes stream;
    InflateResult expected;
};

std::vector<MalformedCase> malformedCases() {
    std::vector<MalformedCase> cases;
    {
        BitWriter w;  // BFINAL 1, BTYPE 3
        w.bits(1, 1);
        w.bits(3, 2);
        cases.push_back({"reserved block type 3", w.bytes(), InflateResult::BadBlockType});
    }
    cases.push_back({"stored: NLEN not the complement of LEN", bytesOf({0x01, 0x05, 0x00, 0x00, 0x00}),
                     InflateResult::BadStoredLength});
    cases.push_back({"stored: 5 bytes announced, 2 present", bytesOf({0x01, 0x05, 0x00, 0xFA, 0xFF, 'a', 'b'}),
                     InflateResult::InputExhausted});
    cases.push_back({"stored: header cut inside NLEN", bytesOf({0x01, 0x05, 0x00, 0xFA}),
                     InflateResult::InputExhausted});
    cases.push_back({"no input at all", Bytes{}, InflateResult::InputExhausted});
    cases.push_back({"non-final empty stored block, then nothing", bytesOf({0x00, 0x00, 0x00, 0xFF, 0xFF}),
                     InflateResult::InputExhausted});
    {
        BitWriter w;  // fixed block: literal/length symbol 286
        w.bits(1, 1);
        w.bits(1, 2);
        w.fixedLiteral(286);
        w.fixedLiteral(256);
        cases.push_back({"fixed: literal/length symbol 286", w.bytes(), InflateResult::InvalidLiteralLength});
    }
    {
        BitWriter w;  // fixed block: 'a', then length 3 with distance symbol 30
        w.bits(1, 1);
        w.bits(1, 2);
        w.fixedLiteral('a');
        w.fixedLiteral(257);
        w.fixedDistance(30);
        w.fixedLiteral(256);
        cases.push_back({"fixed: distance symbol 30", w.bytes(), InflateResult::InvalidDistance});
    }
    {
        BitWriter w;  // fixed block without its end-of-block code
        w.bits(1, 1);
        w.bits(1, 2);
        w.fixedLiteral('a');
        cases.push_back({"fixed: cut before end of block", w.bytes(), InflateResult::InputExhausted});
    }
    {
        BitWriter w;  // code-length code with three 1-bit codes: over-subscribed
        w.bits(1, 1);
        w.bits(2, 2);
        w.bits(0, 5);
        w.bits(0, 5);
        w.bits(0, 4);  // HCLEN 4: symbols 16, 17, 18, 0
        w.bits(1, 3);
        w.bits(1, 3);
        w.bits(1, 3);
        w.bits(0, 3);
        cases.push_back({"dynamic: over-subscribed code-length code", w.bytes(), InflateResult::BadCodeLengthCode});
    }
    {
        BitWriter w;  // code-length code with one 1-bit code: incomplete
        w.bits(1, 1);
        w.bits(2, 2);
        w.bits(0, 5);
        w.bits(0, 5);
        w.bits(0, 4);
        w.bits(0, 3);
        w.bits(0, 3);
        w.bits(1, 3);
        w.bits(0, 3);
        cases.push_back({"dynamic: incomplete code-length code", w.bytes(), InflateResult::BadCodeLengthCode});
    }
    {
        BitWriter w;  // a zero repeat (18) that runs past HLIT + HDIST = 258
        w.bits(1, 1);
        w.bits(2, 2);
        std::vector<LengthSymbol> symbols = {{18, 127}, {18, 127}};  // 276 zeros
        writeDynamicHeader(w, 257, 1, smallCodeLengthCode(), symbols);
        cases.push_back({"dynamic: repeat past the declared count", w.bytes(), InflateResult::BadCodeLengthRepeat});
    }
    {
        BitWriter w;  // literal/length code with only 'A' at 1 bit: incomplete
        w.bits(1, 1);
        w.bits(2, 2);
        std::vector<LengthSymbol> symbols = {{18, 54}, {1, 0}, {18, 127}, {18, 42}, {0, 0}};
        writeDynamicHeader(w, 257, 1, smallCodeLengthCode(), symbols);
        cases.push_back({"dynamic: incomplete literal/length code", w.bytes(), InflateResult::BadLiteralLengthCode});
    }
    {
        BitWriter w;  // every literal/length length 0: no codes at all
        w.bits(1, 1);
        w.bits(2, 2);
        std::vector<LengthSymbol> symbols = {{18, 127}, {18, 108}};  // 138 + 119 = 257, then distance
        symbols.push_back({0, 0});
        writeDynamicHeader(w, 257, 1, smallCodeLengthCode(), symbols);
        cases.push_back({"dynamic: empty literal/length code", w.bytes(), InflateResult::BadLiteralLengthCode});
    }
    {
        // Literal/length code {'A', 257 (length 3), 256}: 'A' 1 bit, the
        // others 2 bits; distance code empty. Data: 'A', then length 3,
        // which needs a distance the empty code cannot give.
        BitWriter w;
        w.bits(1, 1);
        w.bits(2, 2);
        std::vector<uint8_t> codeLengths(19, 0);
        codeLengths[0] = codeLengths[1] = codeLengths[2] = codeLengths[18] = 2;
        std::vector<LengthSymbol> symbols = {{18, 54}, {1, 0}, {18, 127}, {18, 41}, {2, 0}, {2, 0}, {0, 0}};
        writeDynamicHeader(w, 258, 1, codeLengths, symbols);
        // Canonical codes: 'A' -> 0, 256 -> 10, 257 -> 11.
        w.code(0, 1);
        w.code(3, 2);
        w.code(2, 2);
        cases.push_back({"dynamic: length with an empty distance code", w.bytes(), InflateResult::InvalidDistance});
    }
    return cases;
}

}  // namespace

TEST(InflateState2Test, FixedFinalEmptyBlockGivesNoOutputAndNoWrite) {
    InflateOutcome outcome = inflateWithOurs(bytesOf({0x03, 0x00}));
    EXPECT_EQ(outcome.result, InflateResult::Complete);
    EXPECT_TRUE(outcome.data.empty());
    EXPECT_TRUE(outcome.writeSizes.empty());
}

TEST(InflateState2Test, StoredFinalBlockOfLengthZeroGivesNoOutput) {
    InflateOutcome outcome = inflateWithOurs(bytesOf({0x01, 0x00, 0x00, 0xFF, 0xFF}));
    EXPECT_EQ(outcome.result, InflateResult::Complete);
    EXPECT_TRUE(outcome.data.empty());
    EXPECT_TRUE(outcome.writeSizes.empty());
}

TEST(InflateState2Test, BytesAfterTheFinalBlockAreIgnored) {
    InflateOutcome outcome = inflateWithOurs(bytesOf({0x03, 0x00, 0xFF, 0xFF, 0x12}));
    EXPECT_EQ(outcome.result, InflateResult::Complete);
    EXPECT_TRUE(outcome.data.empty());
}

TEST(InflateState2Test, StoredBlocksAcrossBlockBoundaries) {
    // A non-final stored block "ab", a fixed block "c", a final stored "de".
    BitWriter w;
    w.bits(0, 1);
    w.bits(0, 2);
    w.align();
    for (uint8_t b : bytesOf({0x02, 0x00, 0xFD, 0xFF, 'a', 'b'})) w.byte(b);
    w.bits(0, 1);
    w.bits(1, 2);
    w.fixedLiteral('c');
    w.fixedLiteral(256);
    w.bits(1, 1);
    w.bits(0, 2);
    w.align();
    for (uint8_t b : bytesOf({0x02, 0x00, 0xFD, 0xFF, 'd', 'e'})) w.byte(b);
    InflateOutcome outcome = inflateWithOurs(w.bytes());
    EXPECT_EQ(outcome.result, InflateResult::Complete);
    EXPECT_EQ(std::string(outcome.data.begin(), outcome.data.end()), "abcde");
}

TEST(InflateState2Test, HundredThousandZerosLeaveInThreeWindowsAndARest) {
    Bytes zeros(100000, 0);
    for (int level : {1, 6, 9}) {
        InflateOutcome outcome = inflateWithOurs(zlibDeflateRaw(zeros, level));
        EXPECT_EQ(outcome.result, InflateResult::Complete) << "level " << level;
        EXPECT_EQ(outcome.data, zeros) << "level " << level;
        EXPECT_EQ(outcome.writeSizes, (std::vector<uint32_t>{32768, 32768, 32768, 1696})) << "level " << level;
    }
}

TEST(InflateState2Test, CutStreamDeliversOnlyTheFullWindows) {
    // Hand-built: final fixed block, literal 0, then 387 matches of 258 at
    // distance 1 (99,847 bytes), and no end of block.
    BitWriter w;
    w.bits(1, 1);
    w.bits(1, 2);
    w.fixedLiteral(0);
    for (int i = 0; i < 387; ++i) {
        w.fixedLiteral(285);  // length 258
        w.fixedDistance(0);   // distance 1
    }
    InflateOutcome handBuilt = inflateWithOurs(w.bytes());
    EXPECT_EQ(handBuilt.result, InflateResult::InputExhausted);
    EXPECT_EQ(handBuilt.data.size(), 98304u);
    EXPECT_EQ(handBuilt.writeSizes, (std::vector<uint32_t>{32768, 32768, 32768}));

    // zlib's stream of 100,000 zeros, cut where zlib itself has decoded more
    // than 98,304 bytes but not the end of the final block.
    Bytes zeros(100000, 0);
    Bytes stream = zlibDeflateRaw(zeros, 9);
    bool found = false;
    for (size_t cut = stream.size() - 1; cut > 0 && !found; --cut) {
        Bytes prefix(stream.begin(), stream.begin() + cut);
        ZlibOutcome reference = zlibInflateRaw(prefix);
        if (reference.valid || reference.data.size() <= 98304) continue;
        found = true;
        InflateOutcome outcome = inflateWithOurs(prefix);
        EXPECT_EQ(outcome.result, InflateResult::InputExhausted) << "cut at " << cut;
        EXPECT_EQ(outcome.data, Bytes(98304, 0)) << "cut at " << cut;
    }
    EXPECT_TRUE(found) << "no cut point of zlib's stream decodes past 98,304 bytes";
}

TEST(InflateState2Test, DistanceBeforeTheStartCopiesZeros) {
    // 'A', 'B', then length 5 at distance 4: two bytes from before the start
    // (zeros), then the overlapping copy repeats what it has just written.
    BitWriter w;
    w.bits(1, 1);
    w.bits(1, 2);
    w.fixedLiteral('A');
    w.fixedLiteral('B');
    w.fixedLiteral(259);  // length 5
    w.fixedDistance(3);   // distance 4
    w.fixedLiteral(256);
    InflateOutcome outcome = inflateWithOurs(w.bytes());
    EXPECT_EQ(outcome.result, InflateResult::Complete);
    EXPECT_EQ(outcome.data, bytesOf({'A', 'B', 0, 0, 'A', 'B', 0}));
}

TEST(InflateState2Test, DynamicHeaderStartingWithRepeatCodeRepeatsZero) {
    for (bool startWithRepeat : {true, false}) {
        BitWriter w;
        w.bits(1, 1);
        w.bits(2, 2);
        writeDynamicHeader(w, 257, 1, smallCodeLengthCode(), aAndEndOfBlockLengths(startWithRepeat));
        w.code(0, 1);  // 'A'
        w.code(0, 1);  // 'A'
        w.code(1, 1);  // end of block
        InflateOutcome outcome = inflateWithOurs(w.bytes());
        EXPECT_EQ(outcome.result, InflateResult::Complete) << "start with 16: " << startWithRepeat;
        EXPECT_EQ(std::string(outcome.data.begin(), outcome.data.end()), "AA");
    }
}

TEST(InflateState2Test, LargestDeclaredCountsAreAcceptedWhenUnused) {
    // HLIT 31 (288 lengths) and HDIST 31 (32 lengths), all beyond 'A' and
    // end of block zero.
    BitWriter w;
    w.bits(1, 1);
    w.bits(2, 2);
    std::vector<LengthSymbol> symbols = {{18, 54}, {1, 0}, {18, 127}, {18, 41}, {1, 0}, {18, 52}};  // 31 + 32 zeros
    writeDynamicHeader(w, 288, 32, smallCodeLengthCode(), symbols);
    w.code(0, 1);
    w.code(1, 1);
    InflateOutcome outcome = inflateWithOurs(w.bytes());
    EXPECT_EQ(outcome.result, InflateResult::Complete);
    EXPECT_EQ(std::string(outcome.data.begin(), outcome.data.end()), "A");
}

TEST(InflateState2Test, MalformedStreamsStopWithTheirFault) {
    for (const MalformedCase& c : malformedCases()) {
        InflateOutcome outcome = inflateWithOurs(c.stream);
        EXPECT_EQ(outcome.result, c.expected)
            << c.label << ": got " << inflateResultName(outcome.result) << " for " << hexOf(c.stream);
        EXPECT_TRUE(outcome.data.empty()) << c.label;
        EXPECT_TRUE(outcome.writeSizes.empty()) << c.label;
        // zlib agrees that none of them is a valid stream.
        EXPECT_FALSE(zlibInflateRaw(c.stream).valid) << c.label;
    }
}

TEST(InflateState2Test, FaultAfterFullWindowsKeepsThemAndDropsTheRest) {
    // 40,000 stored bytes, then a reserved block type.
    Bytes data(40000);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7 + 1);
    BitWriter w;
    w.bits(0, 1);
    w.bits(0, 2);
    w.align();
    w.byte(static_cast<uint8_t>(data.size() & 0xFF));
    w.byte(static_cast<uint8_t>(data.size() >> 8));
    w.byte(static_cast<uint8_t>(~data.size() & 0xFF));
    w.byte(static_cast<uint8_t>((~data.size() >> 8) & 0xFF));
    for (uint8_t b : data) w.byte(b);
    w.bits(1, 1);
    w.bits(3, 2);
    InflateOutcome outcome = inflateWithOurs(w.bytes());
    EXPECT_EQ(outcome.result, InflateResult::BadBlockType);
    EXPECT_EQ(outcome.writeSizes, (std::vector<uint32_t>{32768}));
    EXPECT_EQ(outcome.data, Bytes(data.begin(), data.begin() + 32768));
}

TEST(InflateState2Test, SinkWithTooLittleSpaceStopsDecodingWithoutWriting) {
    struct Case {
        const char* label;
        uint32_t freeLimit;
        size_t size;
        std::vector<uint32_t> expectedWrites;
    };
    const Case cases[] = {
        {"refused at the first full window", 32767, 100000, {}},
        {"refused at the final partial window", 1695, 1696, {}},
        {"exact room for every piece", 32768, 100000, {32768, 32768, 32768, 1696}},
    };
    for (const Case& c : cases) {
        RecordingSink sink;
        sink.limitFreeSpace = true;
        sink.freeLimit = c.freeLimit;
        Bytes stream = zlibDeflateRaw(Bytes(c.size, 'x'), 6);
        InflateState2 inflater;
        inflater.setSink(&sink);
        inflater.inflateRange(stream.data(), static_cast<uint32_t>(stream.size()));
        EXPECT_EQ(sink.writeSizes, c.expectedWrites) << c.label;
        EXPECT_EQ(inflater.result(), c.expectedWrites.empty() ? InflateResult::SinkRefused : InflateResult::Complete)
            << c.label;
    }
}

TEST(InflateState2Test, NullRangeDoesNothing) {
    RecordingSink sink;
    InflateState2 inflater;
    inflater.setSink(&sink);
    inflater.inflateRange(nullptr, 10);
    EXPECT_EQ(inflater.result(), InflateResult::NotFinished);
    EXPECT_TRUE(sink.writeSizes.empty());
}

TEST(InflateState2Test, WithoutSinkTheOutputIsDiscardedButCounted) {
    Bytes stream = zlibDeflateRaw(Bytes(70000, 'q'), 6);
    InflateState2 inflater;
    inflater.inflateRange(stream.data(), static_cast<uint32_t>(stream.size()));
    EXPECT_TRUE(inflater.isComplete());
    EXPECT_EQ(inflater.bytesDelivered(), 70000u);
}

TEST(InflateState2Test, ExceptionFromTheSinkIsCaught) {
    struct ThrowingSink : RecordingSink {
        bool write(const uint8_t*, uint32_t) override { throw 42; }
    } sink;
    Bytes stream = zlibDeflateRaw(Bytes(50000, 'z'), 6);
    InflateState2 inflater;
    inflater.setSink(&sink);
    inflater.inflateRange(stream.data(), static_cast<uint32_t>(stream.size()));
    EXPECT_EQ(inflater.result(), InflateResult::Aborted);
}
