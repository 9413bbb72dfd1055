// HashMap with its NamedObject entries: replacement on insert, ownership of
// names and values, appending lookup, case-sensitive names, and the bucket
// index (CRC-32 of the key's MD5 digest).

#include <gtest/gtest.h>

#include <string>

#include "core/ZipCRC.h"
#include "core/DataBuffer.h"
#include "core/HashMap.h"
#include "core/NamedObject.h"
#include "core/StringBuffer.h"
#include "core/DigestMD5.h"

namespace {

// A value that counts its own destruction.
class CountedValue : public StringBuffer {
public:
    CountedValue(const char* text, int* destroyed) : StringBuffer(text), destroyed_(destroyed) {}
    ~CountedValue() override { ++*destroyed_; }

private:
    int* destroyed_;
};

} // namespace

TEST(HashMapTest, InsertTwiceReplacesAndDeletesTheOldValue) {
    int destroyed = 0;
    HashMap map(400);
    StringBuffer key("appTitle");
    map.insert(key, new CountedValue("first", &destroyed));
    map.insert(key, new CountedValue("second", &destroyed));
    EXPECT_EQ(destroyed, 1);

    StringBuffer out;
    ASSERT_TRUE(map.lookup("appTitle", out));
    EXPECT_STREQ(out.getString(), "second");
    EXPECT_EQ(map.findEntry(key), map.findEntry(key));
    ASSERT_NE(map.findEntry(key), nullptr);
    EXPECT_STREQ(map.findEntry(key)->getName(), "appTitle");
}

TEST(HashMapTest, ReinsertingTheSameValueObjectKeepsIt) {
    int destroyed = 0;
    HashMap map(400);
    StringBuffer key("unzipDir");
    CountedValue* value = new CountedValue("c:/x", &destroyed);
    map.insert(key, value);
    map.insert(key, value);
    EXPECT_EQ(destroyed, 0);
    EXPECT_EQ(map.findValue(key), value);
}

TEST(HashMapTest, LookupMissingOrNullLeavesOutUnchanged) {
    HashMap map(400);
    StringBuffer key("setupFilename");
    map.insert(key, new StringBuffer("setup.exe"));
    StringBuffer out("keep");
    EXPECT_FALSE(map.lookup("setupParams", out));
    EXPECT_FALSE(map.lookup(nullptr, out));
    EXPECT_STREQ(out.getString(), "keep");
    StringBuffer unknown("nothing");
    EXPECT_EQ(map.findValue(unknown), nullptr);
    EXPECT_EQ(map.findEntry(unknown), nullptr);
}

TEST(HashMapTest, LookupAppends) {
    HashMap map(400);
    StringBuffer key("appCaption");
    map.insert(key, new StringBuffer("Hi"));
    StringBuffer out;
    ASSERT_TRUE(map.lookup("appCaption", out));
    ASSERT_TRUE(map.lookup("appCaption", out));
    EXPECT_STREQ(out.getString(), "HiHi");
}

TEST(HashMapTest, NamesAreCaseSensitive) {
    HashMap map(400);
    StringBuffer lower("appTitle");
    StringBuffer upper("AppTitle");
    map.insert(lower, new StringBuffer("a"));
    map.insert(upper, new StringBuffer("b"));
    StringBuffer out;
    ASSERT_TRUE(map.lookup("appTitle", out));
    ASSERT_TRUE(map.lookup("AppTitle", out));
    EXPECT_STREQ(out.getString(), "ab");
}

TEST(HashMapTest, ManyEntriesInFewBucketsAndDestructionDeletesValues) {
    int destroyed = 0;
    {
        HashMap map(3); // forces several entries per bucket
        for (int i = 0; i < 50; ++i) {
            StringBuffer key(("key" + std::to_string(i)).c_str());
            map.insert(key, new CountedValue(std::to_string(i).c_str(), &destroyed));
        }
        for (int i = 0; i < 50; ++i) {
            StringBuffer out;
            ASSERT_TRUE(map.lookup(("key" + std::to_string(i)).c_str(), out));
            EXPECT_EQ(std::string(out.getString()), std::to_string(i));
        }
        EXPECT_EQ(destroyed, 0);
    }
    EXPECT_EQ(destroyed, 50);
}

TEST(HashMapTest, BucketIndexIsCrcOfMd5ModuloBucketCount) {
    // MD5("") = d41d8cd98f00b204e9800998ecf8427e (RFC 1321); the index is the
    // ZIP CRC-32 of those 16 bytes modulo the bucket count.
    const uint8_t md5OfEmpty[16] = {0xd4, 0x1d, 0x8c, 0xd9, 0x8f, 0x00, 0xb2, 0x04,
                                    0xe9, 0x80, 0x09, 0x98, 0xec, 0xf8, 0x42, 0x7e};
    ZipCRC crc;
    const uint32_t expectedCrc = crc.compute(md5OfEmpty, sizeof md5OfEmpty);
    HashMap map(400);
    StringBuffer empty;
    EXPECT_EQ(map.bucketIndex(empty), expectedCrc % 400);

    // All of the key's bytes count, not only those before a NUL.
    StringBuffer withNul;
    withNul.appendN("a\0b", 3);
    DataBuffer keyBytes;
    keyBytes.append("a\0b", 3);
    uint8_t digest[16];
    DigestMD5 md5;
    md5.digestData(keyBytes, digest);
    EXPECT_EQ(map.bucketIndex(withNul), crc.compute(digest, sizeof digest) % 400);
}

TEST(HashMapTest, ZeroBucketsStillStoresEntries) {
    HashMap map(0);
    EXPECT_EQ(map.getBucketCount(), 1u);
    StringBuffer key("k");
    map.insert(key, new StringBuffer("v"));
    StringBuffer out;
    EXPECT_TRUE(map.lookup("k", out));
    EXPECT_STREQ(out.getString(), "v");
}

TEST(NamedObjectTest, NameIsCopiedAndShrunk) {
    char name[] = "noInterface";
    NamedObject entry(name, nullptr);
    name[0] = 'X';
    EXPECT_STREQ(entry.getName(), "noInterface");
    EXPECT_EQ(entry.getValue(), nullptr);

    NamedObject unnamed(nullptr, nullptr);
    EXPECT_STREQ(unnamed.getName(), "");
}
