// HashConvert (byte-sequence table) and UnicodeLookup (the 256-entry
// decoding array built from it).
#include <gtest/gtest.h>

#include "core/HashConvert.h"
#include "core/UnicodeLookup.h"

namespace {

uint32_t lookupWord(const HashConvert& table, std::initializer_list<uint8_t> key, uint8_t* value)
{
    const std::vector<uint8_t> bytes(key);
    return table.lookup(bytes.data(), static_cast<uint32_t>(bytes.size()), value);
}

void insertBytes(HashConvert& table, std::initializer_list<uint8_t> key,
                 std::initializer_list<uint8_t> value)
{
    const std::vector<uint8_t> k(key), v(value);
    table.insert(k.data(), static_cast<uint32_t>(k.size()), v.data(), static_cast<uint32_t>(v.size()));
}

}  // namespace

TEST(HashConvert, FirstEntryWinsAndRemoveTakesEveryCopy)
{
    HashConvert table;
    table.initialise(HashConvert::kSingleByteBuckets);
    insertBytes(table, {0x80}, {0xAC, 0x20});
    insertBytes(table, {0x80}, {0x01, 0x00});
    // The 2-byte key 8D 01 (397) falls into the bucket of 0x80 (397 mod 269
    // is 128): same bucket, different length, so a different key.
    insertBytes(table, {0x8D, 0x01}, {0x55});
    uint8_t value[HashConvert::kMaxSequenceBytes] = {};
    ASSERT_EQ(2u, lookupWord(table, {0x80}, value));
    EXPECT_EQ(0xAC, value[0]);
    EXPECT_EQ(0x20, value[1]);
    EXPECT_EQ(1u, lookupWord(table, {0x8D, 0x01}, value));
    EXPECT_EQ(0x55, value[0]);
    EXPECT_EQ(3u, table.countEntries());

    const uint8_t key = 0x80;
    table.removeKey(&key, 1);
    EXPECT_EQ(0u, lookupWord(table, {0x80}, value));
    EXPECT_EQ(1u, lookupWord(table, {0x8D, 0x01}, value));
    EXPECT_EQ(1u, table.countEntries());
}

TEST(HashConvert, IgnoresEmptyOrOverlongSequencesAndUninitialisedTables)
{
    HashConvert uninitialised;
    insertBytes(uninitialised, {0x41}, {0x41, 0x00});
    uint8_t value[HashConvert::kMaxSequenceBytes];
    EXPECT_EQ(0u, lookupWord(uninitialised, {0x41}, value));

    HashConvert table;
    table.initialise(7);
    const uint8_t byte = 0x41;
    table.insert(&byte, 0, &byte, 1);
    table.insert(&byte, 1, &byte, 0);
    std::vector<uint8_t> longKey(256, 0x41);
    table.insert(longKey.data(), 256, &byte, 1);
    EXPECT_EQ(0u, table.countEntries());
}

TEST(HashConvert, CopyExchangedBuildsTheOtherDirection)
{
    HashConvert decoder;
    decoder.initialise(HashConvert::kSingleByteBuckets);
    insertBytes(decoder, {0xE9}, {0xE9, 0x00});
    insertBytes(decoder, {0x82}, {0xE9, 0x00});  // a second byte for the same unit
    insertBytes(decoder, {0x80}, {0xAC, 0x20});
    HashConvert encoder;
    encoder.initialise(HashConvert::kSingleByteBuckets);
    decoder.copyExchangedInto(encoder);
    uint8_t value[HashConvert::kMaxSequenceBytes];
    ASSERT_EQ(1u, lookupWord(encoder, {0xAC, 0x20}, value));
    EXPECT_EQ(0x80, value[0]);
    // Bucket order: byte 0x82 (bucket 130) is copied before 0xE9 (bucket 233).
    ASSERT_EQ(1u, lookupWord(encoder, {0xE9, 0x00}, value));
    EXPECT_EQ(0x82, value[0]);
}

TEST(HashConvert, InitialiseDropsPreviousContent)
{
    HashConvert table;
    table.initialise(11);
    insertBytes(table, {0x01}, {0x02});
    table.initialise(13);
    EXPECT_EQ(13u, table.getBucketCount());
    EXPECT_EQ(0u, table.countEntries());
}

TEST(UnicodeLookup, BuiltFromTheDecodingTable)
{
    HashConvert decoder;
    decoder.initialise(HashConvert::kSingleByteBuckets);
    insertBytes(decoder, {0x41}, {0xC1, 0x00});   // ignored while asciiDirect
    insertBytes(decoder, {0x80}, {0xAC, 0x20});
    insertBytes(decoder, {0x90}, {0x7F});         // not a 2-byte unit: no mapping

    UnicodeLookup direct;
    decoder.asciiDirect = true;
    direct.build(decoder);
    EXPECT_EQ(0x0041, direct.unitOf(0x41));
    EXPECT_EQ(0x20AC, direct.unitOf(0x80));
    EXPECT_EQ(0, direct.unitOf(0x81));
    EXPECT_EQ(0, direct.unitOf(0x90));
    EXPECT_EQ(0, direct.unitOf(0x00));

    UnicodeLookup looked;
    decoder.asciiDirect = false;
    looked.build(decoder);
    EXPECT_EQ(0x00C1, looked.unitOf(0x41));
    EXPECT_EQ(0, looked.unitOf(0x42));
}
