// UTF-7 (code page 65000): RFC 2152's examples, the decoder's error
// reports, and (natively) a round trip against glibc's iconv in both
// directions.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TextTestHelpers.h"

using texttest::Bytes;
using texttest::bytesOf;
using texttest::convert;
using texttest::hex;
using texttest::utf16le;

namespace {

struct Utf7Example {
    const char* label;
    std::vector<uint16_t> text;
    const char* rfcForm;   // the form printed in RFC 2152
    const char* ourForm;   // what the encoder writes: Set O shifted, runs closed by '-'
};

// From RFC 2152, section "Examples".
const std::vector<Utf7Example> kRfc2152Examples = {
    {"A, NOT IDENTICAL TO, ALPHA, full stop", {0x0041, 0x2262, 0x0391, 0x002E}, "A+ImIDkQ.",
     "A+ImIDkQ-."},
    {"Hi Mom -smiley-!", {'H', 'i', ' ', 'M', 'o', 'm', ' ', '-', 0x263A, '-', '!'},
     "Hi Mom -+Jjo--!", "Hi Mom -+Jjo--+ACE-"},
    {"Japanese for 'Japanese'", {0x65E5, 0x672C, 0x8A9E}, "+ZeVnLIqe-", "+ZeVnLIqe-"},
    {"Item 3 is pound 1.", {'I', 't', 'e', 'm', ' ', '3', ' ', 'i', 's', ' ', 0x00A3, '1', '.'},
     "Item 3 is +AKM-1.", "Item 3 is +AKM-1."},
};

}  // namespace

TEST(EncodingConvertUtf7, Rfc2152ExamplesDecode)
{
    for (const Utf7Example& example : kRfc2152Examples) {
        SCOPED_TRACE(example.label);
        const texttest::Converted got = convert(65000, 1200, bytesOf(example.rfcForm));
        EXPECT_TRUE(got.complete);
        EXPECT_EQ(hex(utf16le(example.text)), hex(got.bytes));
    }
}

TEST(EncodingConvertUtf7, Rfc2152ExamplesEncodeWithClosedRuns)
{
    for (const Utf7Example& example : kRfc2152Examples) {
        SCOPED_TRACE(example.label);
        const texttest::Converted got = convert(1200, 65000, utf16le(example.text));
        EXPECT_TRUE(got.complete);
        EXPECT_EQ(std::string(example.ourForm), std::string(got.bytes.begin(), got.bytes.end()));
        const texttest::Converted back = convert(65000, 1200, got.bytes);
        EXPECT_TRUE(back.complete);
        EXPECT_EQ(hex(utf16le(example.text)), hex(back.bytes));
    }
}

TEST(EncodingConvertUtf7, EncoderSpecialCases)
{
    struct Case {
        const char* label;
        std::vector<uint16_t> text;
        const char* form;
    };
    const std::vector<Case> cases = {
        {"plus sign is +-", {'1', '+', '1'}, "1+-1"},
        {"plus sign after a run closes it first", {0x00E9, '+'}, "+AOk-+-"},
        {"leading U+FEFF skipped", {0xFEFF, 'a'}, "a"},
        {"U+FEFF later is kept", {'a', 0xFEFF}, "a+/v8-"},
        {"run at end of text closed", {'a', 0x00E9}, "a+AOk-"},
        {"Set D and blanks direct", {'\'', '(', ')', ',', '-', '.', '/', ':', '?', ' ', '\t', '\r',
                                     '\n'}, "'(),-./:? \t\r\n"},
        {"Set O shifted", {'!', '"', '#'}, "+ACEAIgAj-"},
        {"surrogate pair in one run", {0xD83D, 0xDE00}, "+2D3eAA-"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const texttest::Converted got = convert(1200, 65000, utf16le(c.text));
        EXPECT_TRUE(got.complete);
        EXPECT_EQ(std::string(c.form), std::string(got.bytes.begin(), got.bytes.end()));
    }
}

TEST(EncodingConvertUtf7, DecoderReportsMalformedInputAndGoesOn)
{
    struct Case {
        const char* label;
        Bytes input;
        bool complete;
        std::vector<uint16_t> text;
    };
    const std::vector<Case> cases = {
        {"+- is a plus sign", bytesOf("a+-b"), true, {'a', '+', 'b'}},
        {"run ended by a direct character", bytesOf("+AOk."), true, {0x00E9, '.'}},
        {"run ended by end of text", bytesOf("+AOk"), true, {0x00E9}},
        {"empty run +A-", bytesOf("x+A-y"), false, {'x', 'y'}},
        {"lone plus at the end", bytesOf("x+"), false, {'x'}},
        {"leftover bits not zero", bytesOf("+AGF-z"), false, {'a', 'z'}},
        {"byte above 7F outside a run dropped", Bytes{'a', 0xE9, 'b'}, false, {'a', 'b'}},
        {"Set O characters accepted directly", bytesOf("Hi!"), true, {'H', 'i', '!'}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const texttest::Converted got = convert(65000, 1200, c.input);
        EXPECT_EQ(c.complete, got.complete);
        EXPECT_EQ(hex(utf16le(c.text)), hex(got.bytes));
    }
}

TEST(EncodingConvertUtf7, ThroughOtherCodePages)
{
    const texttest::Converted toUtf8 = convert(65000, 65001, bytesOf("+AOk-t+AOk-"));
    EXPECT_TRUE(toUtf8.complete);
    EXPECT_EQ(hex(bytesOf("\xC3\xA9t\xC3\xA9")), hex(toUtf8.bytes));
    const texttest::Converted from1252 = convert(1252, 65000, bytesOf("\x80 5"));
    EXPECT_TRUE(from1252.complete);
    EXPECT_EQ("+IKw- 5", std::string(from1252.bytes.begin(), from1252.bytes.end()));
}

#ifndef _WIN32
// Texts for the differential run: every class of character the encoder
// treats differently, and characters beyond the BMP.
TEST(EncodingConvertUtf7, RoundTripsWithGlibcIconv)
{
    ASSERT_TRUE(texttest::toolAvailable("iconv"))
        << "iconv is needed for this test: install the libc-bin package";
    const std::vector<std::vector<uint16_t>> texts = {
        {'H', 'i', ' ', 'M', 'o', 'm', ' ', '-', 0x263A, '-', '!'},
        {'1', ' ', '+', ' ', '1', ' ', '=', ' ', '2'},
        {0x65E5, 0x672C, 0x8A9E, '.', 0x00E9, 'a', '~', '\\', 0x20AC},
        {'C', ':', '\\', 'p', 'a', 't', 'h', '/', 'f', 'i', 'l', 'e', '.', 't', 'x', 't'},
        {0xD83D, 0xDE00, ' ', 0x0410, 0x0411, '\t', '\r', '\n', '&', '*', '@', '[', ']'},
    };
    int index = 0;
    for (const std::vector<uint16_t>& text : texts) {
        SCOPED_TRACE(index++);
        const Bytes units = utf16le(text);

        // iconv encodes, we decode.
        const Bytes theirs = texttest::runFilter("iconv -f UTF-16LE -t UTF-7", units, "utf7-enc");
        ASSERT_FALSE(theirs.empty());
        const texttest::Converted decoded = convert(65000, 1200, theirs);
        EXPECT_TRUE(decoded.complete) << std::string(theirs.begin(), theirs.end());
        EXPECT_EQ(hex(units), hex(decoded.bytes));

        // We encode, iconv decodes.
        const texttest::Converted ours = convert(1200, 65000, units);
        EXPECT_TRUE(ours.complete);
        const Bytes back = texttest::runFilter("iconv -f UTF-7 -t UTF-16LE", ours.bytes, "utf7-dec");
        EXPECT_EQ(hex(units), hex(back)) << std::string(ours.bytes.begin(), ours.bytes.end());
    }
}
#endif
