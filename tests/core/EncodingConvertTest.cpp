// EncodingConvert: the computed code pages (UTF-16 both orders, UTF-8,
// UTF-7, UTF-32 both orders), byte-order marks, refused and unknown code
// pages, the drop-and-report rule, the Arabic-Indic digits of 28596/1256
// and the double-byte code pages that carry no entries.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TextTestHelpers.h"
#include "core/DataBuffer.h"
#include "core/EncodingConvert.h"

using texttest::Bytes;
using texttest::bytesOf;
using texttest::convert;
using texttest::hex;
using texttest::utf16le;

namespace {

struct ConvertCase {
    const char* label;
    uint32_t from;
    uint32_t to;
    Bytes input;
    bool complete;
    Bytes output;
};

void runCases(const std::vector<ConvertCase>& cases)
{
    for (const ConvertCase& c : cases) {
        SCOPED_TRACE(c.label);
        const texttest::Converted got = convert(c.from, c.to, c.input);
        EXPECT_EQ(c.complete, got.complete);
        EXPECT_EQ(hex(c.output), hex(got.bytes));
    }
}

}  // namespace

TEST(EncodingConvert, SameOrZeroTargetCopiesInputUnchanged)
{
    runCases({
        {"1252 -> 1252 keeps every byte", 1252, 1252, {0x41, 0x81, 0xFF}, true, {0x41, 0x81, 0xFF}},
        {"1200 -> 1200 keeps the mark", 1200, 1200, {0xFF, 0xFE, 0x41, 0x00}, true,
         {0xFF, 0xFE, 0x41, 0x00}},
        {"65001 -> 0 keeps the mark", 65001, 0, {0xEF, 0xBB, 0xBF, 0x41}, true,
         {0xEF, 0xBB, 0xBF, 0x41}},
        {"unknown -> 0 copies too", 12345, 0, {0x01}, true, {0x01}},
    });
}

TEST(EncodingConvert, ByteOrderMarksAreDroppedAndOverrideTheCodePage)
{
    runCases({
        {"1200 FF FE 41 00", 1200, 65001, {0xFF, 0xFE, 0x41, 0x00}, true, {0x41}},
        {"1200 FE FF 00 41 is big-endian", 1200, 65001, {0xFE, 0xFF, 0x00, 0x41}, true, {0x41}},
        {"1201 FF FE 41 00 is little-endian", 1201, 65001, {0xFF, 0xFE, 0x41, 0x00}, true, {0x41}},
        {"1201 without mark is big-endian", 1201, 65001, {0x00, 0x41}, true, {0x41}},
        {"1200 FF FE alone", 1200, 65001, {0xFF, 0xFE}, true, {}},
        {"65001 EF BB BF alone", 65001, 1200, {0xEF, 0xBB, 0xBF}, true, {}},
        {"65001 mark then A", 65001, 1200, {0xEF, 0xBB, 0xBF, 0x41}, true, {0x41, 0x00}},
        {"1201 mark FF FE then 1200 target: copied", 1201, 1200, {0xFF, 0xFE, 0x41, 0x00}, true,
         {0x41, 0x00}},
        {"empty input", 1200, 1252, {}, true, {}},
    });
}

TEST(EncodingConvert, RefusedAndUnknownCodePagesGiveFalseAndNoOutput)
{
    runCases({
        {"50220 source", 50220, 1200, {0x41}, false, {}},
        {"50221 source", 50221, 65001, {0x41}, false, {}},
        {"50222 target", 1200, 50222, {0x41, 0x00}, false, {}},
        {"50225 target", 65001, 50225, {0x41}, false, {}},
        {"12345 source", 12345, 1200, {0x41}, false, {}},
        {"12345 target", 1200, 12345, {0x41, 0x00}, false, {}},
    });
}

TEST(EncodingConvert, UnmappedCharactersAreDroppedAndReported)
{
    runCases({
        {"U+4E00 into 1252", 1200, 1252, utf16le({0x4E00}), false, {}},
        {"A U+4E00 into 1252", 1200, 1252, utf16le({'A', 0x4E00}), false, {0x41}},
        {"U+20AC into 1252", 1200, 1252, utf16le({0x20AC}), true, {0x80}},
        {"unit 0 gives byte 0", 1200, 1252, utf16le({0, 'B'}), true, {0x00, 0x42}},
        {"odd last byte ignored", 1200, 1252, {0x41, 0x00, 0x42}, true, {0x41}},
        {"a single byte is no unit", 1200, 1252, {0x41}, false, {}},
        {"surrogate pair has no mapping", 1200, 1252, utf16le({0xD83D, 0xDE00}), false, {}},
        {"1252 byte 81 has no mapping", 1252, 1200, {0x41, 0x81, 0x42}, false,
         utf16le({'A', 'B'})},
    });
}

TEST(EncodingConvert, ArabicIndicDigitsBecomeAsciiDigitsIn28596And1256Only)
{
    runCases({
        {"1256 U+0661 U+06F2", 1200, 1256, utf16le({0x0661, 0x06F2}), true, bytesOf("12")},
        {"1256 all twenty digits", 1200, 1256,
         utf16le({0x0660, 0x0665, 0x0669, 0x06F0, 0x06F5, 0x06F9}), true, bytesOf("059059")},
        {"28596 U+0660 U+06F9", 1200, 28596, utf16le({0x0660, 0x06F9}), true, bytesOf("09")},
        {"1252 has no such rule", 1200, 1252, utf16le({0x0661}), false, {}},
    });
}

TEST(EncodingConvert, TableToTableGoesThroughUtf16AndReportsEitherHalf)
{
    runCases({
        {"1252 e-acute to 850", 1252, 850, {0xE9}, true, {0x82}},
        {"1251 to KOI8-R", 1251, 20866, {0xC0, 0xE0}, true, {0xE1, 0xC1}},
        {"1252 to 37 (EBCDIC)", 1252, 37, bytesOf("Az9"), true, {0xC1, 0xA9, 0xF9}},
        // A byte lost while decoding the source makes the result false even
        // though everything that was decoded could be encoded.
        {"1252 undefined byte to 65001", 1252, 65001, {0x41, 0x81}, false, {0x41}},
        {"1252 euro to 65001", 1252, 65001, {0x80}, true, {0xE2, 0x82, 0xAC}},
        {"65001 to 1252", 65001, 1252, {0xC3, 0xA9}, true, {0xE9}},
    });
}

TEST(EncodingConvert, Utf8AndUtf16FollowTheCharacterCoder)
{
    runCases({
        {"invalid C3 28 loses the C3", 65001, 1200, {0xC3, 0x28}, true, utf16le({'('})},
        {"four-byte sequence gives nothing", 65001, 1200, {0xF0, 0x9F, 0x98, 0x80}, true, {}},
        {"overlong E0 80 80 dropped byte by byte", 65001, 1200, {0xE0, 0x80, 0x80, 0x41}, true,
         utf16le({'A'})},
        {"encoded surrogate accepted", 65001, 1200, {0xED, 0xA0, 0x80}, true, utf16le({0xD800})},
        {"surrogate pair as two sequences", 1200, 65001, utf16le({0xD83D, 0xDE00}), true,
         {0xED, 0xA0, 0xBD, 0xED, 0xB8, 0x80}},
        {"odd count loses last byte, false", 1200, 65001, {0x41, 0x00, 0x42}, false, {0x41}},
        {"count 1 is false", 1200, 65001, {0x41}, false, {}},
        {"U+0800 is three bytes", 1200, 65001, utf16le({0x0800}), true, {0xE0, 0xA0, 0x80}},
        {"U+07FF is two bytes", 1200, 65001, utf16le({0x07FF}), true, {0xDF, 0xBF}},
    });
}

TEST(EncodingConvert, Utf16BigEndianBothWays)
{
    runCases({
        {"to 1201", 1200, 1201, utf16le({'A', 0x4E00}), true, {0x00, 0x41, 0x4E, 0x00}},
        {"from 1201", 1201, 1200, {0x00, 0x41, 0x4E, 0x00}, true, utf16le({'A', 0x4E00})},
        {"1252 to 1201", 1252, 1201, {0x80}, true, {0x20, 0xAC}},
        {"trailing half unit of 1201 ignored", 1201, 1200, {0x00, 0x41, 0x00}, true,
         utf16le({'A'})},
        // Characters lost before the byte swap are reported.
        {"1252 undefined byte to 1201", 1252, 1201, {0x81, 0x41}, false, {0x00, 0x41}},
    });
}

TEST(EncodingConvert, Utf32LittleAndBigEndianBothWays)
{
    runCases({
        {"A to 65005", 1200, 65005, utf16le({'A'}), true, {0x41, 0x00, 0x00, 0x00}},
        {"A to 65006", 1200, 65006, utf16le({'A'}), true, {0x00, 0x00, 0x00, 0x41}},
        {"65006 00 00 00 41 to 65001", 65006, 65001, {0x00, 0x00, 0x00, 0x41}, true, {0x41}},
        {"65005 U+4E00 to 1200", 65005, 1200, {0x00, 0x4E, 0x00, 0x00}, true, utf16le({0x4E00})},
        {"65001 U+1F600 to 65005", 65001, 65005, {0xF0, 0x9F, 0x98, 0x80}, true,
         {0x00, 0xF6, 0x01, 0x00}},
        {"65001 U+1F600 to 65006", 65001, 65006, {0xF0, 0x9F, 0x98, 0x80}, true,
         {0x00, 0x01, 0xF6, 0x00}},
        // 65001 -> 65001 after UTF-32 re-encodes through the BMP-only coder.
        {"65005 U+1F600 to 65001 loses it", 65005, 65001, {0x00, 0xF6, 0x01, 0x00}, true, {}},
        {"65005 above 0x1FFFFF becomes U+FFFD", 65005, 1200, {0x00, 0x00, 0x20, 0x00}, true,
         utf16le({0xFFFD})},
        {"65005 fewer than 4 bytes", 65005, 1200, {0x41, 0x00}, false, {}},
        {"65005 trailing partial group ignored", 65005, 1200, {0x41, 0, 0, 0, 0x42}, true,
         utf16le({'A'})},
        {"illegal UTF-8 stops the UTF-32 output", 65001, 65005, {0x41, 0xC0, 0x80, 0x42}, false,
         {0x41, 0, 0, 0}},
        {"truncated UTF-8 stops it too", 65001, 65006, {0x42, 0xE4, 0xB8}, false, {0, 0, 0, 0x42}},
        {"F4 90 is beyond U+10FFFF", 65001, 65005, {0xF4, 0x90, 0x80, 0x80}, false, {}},
    });
}

TEST(EncodingConvert, DoubleByteCodePagesWithoutEntriesKeepOnlyNul)
{
    for (uint32_t codePage : {932u, 936u, 949u, 950u, 1361u, 10001u, 51932u, 51936u, 51949u}) {
        SCOPED_TRACE(codePage);
        runCases({
            {"decode", codePage, 1200, {0x00, 0x41, 0x82, 0xA0}, false, utf16le({0})},
            {"encode", 1200, codePage, utf16le({0, 'A', 0x3042}), false, {0x00}},
        });
    }
}

TEST(EncodingConvert, ConvertAppendsToExistingOutput)
{
    EncodingConvert converter;
    DataBuffer out;
    out.append("xy", 2);
    const Bytes input = utf16le({'A', 'B'});
    EXPECT_TRUE(converter.convert(1200, 1252, input.data(), 4, out));
    EXPECT_TRUE(converter.convert(1252, 65001, "\xE9", 1, out));
    EXPECT_EQ("78 79 41 42 C3 A9", hex(texttest::bufferBytes(out)));
}

TEST(EncodingConvert, RecognisedCodePages)
{
    for (uint32_t codePage : {1200u, 1201u, 65000u, 65001u, 65005u, 65006u, 1252u, 37u, 10001u,
                              932u, 38598u}) {
        EXPECT_TRUE(EncodingConvert::isRecognised(codePage)) << codePage;
    }
    for (uint32_t codePage : {0u, 50220u, 50221u, 50222u, 50225u, 12345u, 28600u, 65002u}) {
        EXPECT_FALSE(EncodingConvert::isRecognised(codePage)) << codePage;
    }
}
