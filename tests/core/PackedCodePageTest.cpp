// The packed form of a stored code-page table: a table stored plain, packed
// here with libbz2's own compressor into a framed block, must unpack through
// the unpacker its row names and give exactly the tables of the plain form;
// a packed text whose row names no unpacker, or whose frame is damaged,
// gives an empty table rather than a partial one.
#include <gtest/gtest.h>

#include <bzlib.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "TextTestHelpers.h"
#include "core/BrivaneBzip2.h"
#include "core/CodePageTable.h"
#include "core/ContentCoding.h"
#include "core/StoredCodePages.h"
#include "core/StringBuffer.h"

using texttest::Bytes;

namespace {

constexpr uint32_t kUnitValues = 0x10000;

Bytes plainData(const StoredCodePage& stored)
{
    EXPECT_EQ('x', stored.text[0]);
    uint32_t count = 0;
    uint8_t* decoded =
        ContentCoding().decodeBase64(stored.text + 1, static_cast<uint32_t>(std::strlen(stored.text + 1)), count);
    Bytes data(decoded, decoded + count);
    std::free(decoded);
    return data;
}

// 'b', then the Base64 text of: magic, unpacked length, bzip2 stream.
std::string packedText(const Bytes& plain, bool damage)
{
    unsigned int length = static_cast<unsigned int>(plain.size() + plain.size() / 100 + 600);
    Bytes stream(length);
    EXPECT_EQ(BZ_OK, BZ2_bzBuffToBuffCompress(reinterpret_cast<char*>(stream.data()), &length,
                                              const_cast<char*>(reinterpret_cast<const char*>(plain.data())),
                                              static_cast<unsigned int>(plain.size()), 9, 0, 0));
    stream.resize(length);
    if (damage) {
        stream[stream.size() / 2] ^= 0x55;
    }
    Bytes frame;
    const uint32_t header[2] = {BrivaneBzip2::kFrameMagic, static_cast<uint32_t>(plain.size())};
    for (uint32_t word : header) {
        for (int i = 0; i < 4; ++i) frame.push_back(static_cast<uint8_t>(word >> (8 * i)));
    }
    frame.insert(frame.end(), stream.begin(), stream.end());
    StringBuffer text;
    ContentCoding().encodeBase64(frame.data(), static_cast<uint32_t>(frame.size()), text);
    return "b" + std::string(text.getString(), static_cast<size_t>(text.getSize()));
}

std::unique_ptr<CodePageTable> build(const StoredCodePage& stored)
{
    return std::unique_ptr<CodePageTable>(CodePageTable::create(
        stored.codePage, CodePageTable::Kind::SingleByte, HashConvert::kSingleByteBuckets, &stored));
}

void expectSameTables(const CodePageTable& expected, const CodePageTable& got)
{
    EXPECT_EQ(expected.decoder.asciiDirect, got.decoder.asciiDirect);
    EXPECT_EQ(expected.encoder.asciiDirect, got.encoder.asciiDirect);
    EXPECT_EQ(expected.decoder.countEntries(), got.decoder.countEntries());
    EXPECT_EQ(expected.encoder.countEntries(), got.encoder.countEntries());
    uint8_t want[HashConvert::kMaxSequenceBytes];
    uint8_t have[HashConvert::kMaxSequenceBytes];
    for (uint32_t b = 1; b < UnicodeLookup::kByteValues; ++b) {
        const uint8_t key = static_cast<uint8_t>(b);
        EXPECT_EQ(expected.lookup.unitOf(key), got.lookup.unitOf(key)) << "byte " << b;
        const uint32_t wantLength = expected.decoder.lookup(&key, 1, want);
        ASSERT_EQ(wantLength, got.decoder.lookup(&key, 1, have)) << "byte " << b;
        EXPECT_EQ(0, std::memcmp(want, have, wantLength)) << "byte " << b;
    }
    for (uint32_t unit = 1; unit < kUnitValues; ++unit) {
        const uint8_t key[2] = {static_cast<uint8_t>(unit), static_cast<uint8_t>(unit >> 8)};
        const uint32_t wantLength = expected.encoder.lookup(key, 2, want);
        ASSERT_EQ(wantLength, got.encoder.lookup(key, 2, have)) << "unit " << unit;
        EXPECT_EQ(0, std::memcmp(want, have, wantLength)) << "unit " << unit;
    }
}

}  // namespace

// A full list, lists of differences (whose plain bases are read from the
// program's own rows), an EBCDIC page, and a page of two-byte encodings.
TEST(PackedCodePage, UnpacksToTheTablesOfThePlainForm)
{
    for (uint32_t codePage : {437u, 1252u, 1147u, 20269u}) {
        SCOPED_TRACE("code page " + std::to_string(codePage));
        const StoredCodePage* plain = StoredCodePages::find(codePage);
        ASSERT_NE(nullptr, plain);
        const std::string text = packedText(plainData(*plain), false);
        const StoredCodePage packed = {codePage, text.c_str(), BrivaneBzip2::unpackFrame};
        const std::unique_ptr<CodePageTable> expected = build(*plain);
        const std::unique_ptr<CodePageTable> got = build(packed);
        EXPECT_GT(expected->decoder.countEntries(), 64u);
        expectSameTables(*expected, *got);
    }
}

TEST(PackedCodePage, UnpackableTextGivesAnEmptyTable)
{
    const Bytes plain = plainData(*StoredCodePages::find(1252));
    const std::string damaged = packedText(plain, true);
    const std::string intact = packedText(plain, false);
    const struct {
        const char* name;
        StoredCodePage stored;
    } cases[] = {
        {"damaged stream", {1252, damaged.c_str(), BrivaneBzip2::unpackFrame}},
        {"packed text, no unpacker named", {1252, intact.c_str(), nullptr}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::unique_ptr<CodePageTable> table = build(c.stored);
        EXPECT_EQ(0u, table->decoder.countEntries());
        EXPECT_EQ(0u, table->encoder.countEntries());
        EXPECT_FALSE(table->decoder.asciiDirect);
        EXPECT_EQ(0, table->lookup.unitOf('A'));
    }
}
