#pragma once
// Constants of the raw deflate format (RFC 1951): block types, alphabet
// sizes, code-length limits and the base/extra-bit tables of the length and
// distance symbols. Every value here is fixed by the format, not chosen.
//
// Format notes:
// - Bits are packed least-significant first; Huffman codes are stored
//   starting with their most-significant bit, every other field starting
//   with its least-significant bit.
// - A length/distance pair refers back at most 32,768 bytes, so a decoder
//   needs the last 32,768 output bytes and nothing older.

#include <cstdint>

// Block header: BFINAL (1 bit) then BTYPE (2 bits).
constexpr uint32_t kDeflateFinalFlagBits = 1;
constexpr uint32_t kDeflateBlockTypeBits = 2;
enum DeflateBlockType : uint32_t {
    kDeflateBlockStored = 0,
    kDeflateBlockFixed = 1,
    kDeflateBlockDynamic = 2,
    kDeflateBlockReserved = 3,  // never valid
};

// Stored block: after the byte boundary, LEN and NLEN (its one's complement),
// 16 bits each, then LEN bytes.
constexpr uint32_t kDeflateStoredLengthBits = 16;

// The window a back-reference may reach into.
constexpr uint32_t kDeflateWindowBytes = 32768;

// Alphabets. Literal/length symbols 0-255 are literals, 256 ends the block,
// 257-285 are lengths; 286 and 287 take part in the fixed code but never
// occur in valid data. Distance symbols 0-29 are valid; 30 and 31 likewise
// exist only as code space.
constexpr uint32_t kDeflateEndOfBlock = 256;
constexpr uint32_t kDeflateFirstLengthSymbol = 257;
constexpr uint32_t kDeflateLengthSymbols = 29;  // 257..285
constexpr uint32_t kDeflateLiteralLengthValid = 286;
constexpr uint32_t kDeflateLiteralLengthMax = 288;  // largest HLIT + 257 accepted
constexpr uint32_t kDeflateDistanceValid = 30;
constexpr uint32_t kDeflateDistanceMax = 32;  // largest HDIST + 1 accepted
constexpr uint32_t kDeflateCodeLengthSymbols = 19;

// Longest Huffman code of the literal/length and distance alphabets, and of
// the code-length alphabet (lengths sent as 3-bit fields).
constexpr uint32_t kDeflateMaxCodeBits = 15;
constexpr uint32_t kDeflateMaxCodeLengthCodeBits = 7;

// Match lengths and distances.
constexpr uint32_t kDeflateMinMatchBytes = 3;
constexpr uint32_t kDeflateMaxMatchBytes = 258;
constexpr uint32_t kDeflateMaxDistanceBytes = 32768;
constexpr uint32_t kDeflateMaxLengthExtraBits = 5;
constexpr uint32_t kDeflateMaxDistanceExtraBits = 13;

// Dynamic block header: HLIT (5 bits) + 257, HDIST (5 bits) + 1,
// HCLEN (4 bits) + 4, then HCLEN code-length code lengths of 3 bits each.
constexpr uint32_t kDeflateHlitBits = 5;
constexpr uint32_t kDeflateHdistBits = 5;
constexpr uint32_t kDeflateHclenBits = 4;
constexpr uint32_t kDeflateHlitBase = 257;
constexpr uint32_t kDeflateHdistBase = 1;
constexpr uint32_t kDeflateHclenBase = 4;
constexpr uint32_t kDeflateCodeLengthCodeLengthBits = 3;

// Code-length alphabet: 0-15 are lengths; 16 repeats the previous length
// 3-6 times (2 extra bits); 17 writes 3-10 zeros (3 extra bits); 18 writes
// 11-138 zeros (7 extra bits).
constexpr uint32_t kDeflateRepeatPrevious = 16;
constexpr uint32_t kDeflateRepeatZeroShort = 17;
constexpr uint32_t kDeflateRepeatZeroLong = 18;
constexpr uint32_t kDeflateRepeatPreviousBase = 3;
constexpr uint32_t kDeflateRepeatPreviousExtraBits = 2;
constexpr uint32_t kDeflateRepeatZeroShortBase = 3;
constexpr uint32_t kDeflateRepeatZeroShortExtraBits = 3;
constexpr uint32_t kDeflateRepeatZeroLongBase = 11;
constexpr uint32_t kDeflateRepeatZeroLongExtraBits = 7;

// The order in which the code-length code lengths are sent.
constexpr uint8_t kDeflateCodeLengthOrder[kDeflateCodeLengthSymbols] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                                        11, 4,  12, 3, 13, 2, 14, 1, 15};

// Length symbols 257..285: base length and extra bits. Symbol 285 is 258
// with no extra bits (284 with all extra bits set would be 258 too, but 285
// is the code for it).
constexpr uint16_t kDeflateLengthBase[kDeflateLengthSymbols] = {3,  4,  5,  6,   7,   8,   9,   10,  11, 13,
                                                                15, 17, 19, 23,  27,  31,  35,  43,  51, 59,
                                                                67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr uint8_t kDeflateLengthExtraBits[kDeflateLengthSymbols] = {
    0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};

// Distance symbols 0..29: base distance and extra bits (1 .. 24,577 + 8,191).
constexpr uint16_t kDeflateDistanceBase[kDeflateDistanceValid] = {
    1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
    193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr uint8_t kDeflateDistanceExtraBits[kDeflateDistanceValid] = {
    0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

// The fixed code of block type 1: literal/length code lengths by symbol range,
// and 5 bits for every distance symbol.
constexpr uint32_t kDeflateFixedLiteralLengths = 288;
constexpr uint32_t kDeflateFixedDistanceBits = 5;
constexpr uint32_t kDeflateFixedDistances = 32;
// Symbols 0-143: 8 bits; 144-255: 9 bits; 256-279: 7 bits; 280-287: 8 bits.
constexpr uint32_t kDeflateFixedRanges[4][2] = {{143, 8}, {255, 9}, {279, 7}, {287, 8}};
