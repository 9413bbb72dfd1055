// Traditional ZIP encryption: the header generator, the header byte rule,
// makeHeader/checkHeader round trips, and byte-stream round trips. The
// comparison with a real archiver is in ZipInteropTest.cpp.

#include "crypto/PwdProtect.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "ZipCryptTestSupport.h"

using zipcrypt_test::Bytes;
using zipcrypt_test::patternBytes;

namespace {

// The password-derived keys of a fresh object.
struct Keys {
    uint32_t key0, key1, key2;
};

Keys keysAfterInit(const char* password) {
    PwdProtect p;
    p.setPassword(password);
    p.initKeys();
    return {p.key0(), p.key1(), p.key2()};
}

// The first header generator values a seed yields.
std::vector<uint32_t> generatorValues(uint32_t seed, int count) {
    PwdProtect::seedHeaderRandom(seed);
    std::vector<uint32_t> values;
    for (int i = 0; i < count; ++i) values.push_back(PwdProtect::nextHeaderRandom());
    return values;
}

}  // namespace

// The generator is the classic C library congruence: from seed 1 it gives
// 41, 18467, 6334, 26500, 19169 (bits 16..30 of each state).
TEST(PwdProtect, HeaderGeneratorSequence) {
    EXPECT_EQ(generatorValues(1, 5), (std::vector<uint32_t>{41, 18467, 6334, 26500, 19169}));
    for (uint32_t v : generatorValues(0xDEADBEEFu, 1000)) {
        EXPECT_LE(v, 0x7FFFu);
    }
}

// Bits 6..13 of the 15-bit value, or its low 8 bits when those are zero.
TEST(PwdProtect, HeaderByteRule) {
    struct Case {
        uint32_t value;
        uint8_t expected;
        const char* label;
    } cases[] = {
        {0x7FFF, 0xFF, "all bits set: bits 6..13"},
        {0x0040, 0x01, "lowest bit of the field"},
        {0x3FC0, 0xFF, "field all ones"},
        {0x4023, 0x23, "field zero, bit 14 set: low 8 bits"},
        {0x003F, 0x3F, "field zero: low 8 bits"},
        {0x0000, 0x00, "all zero"},
        {0x4000, 0x00, "field and low bits zero"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(PwdProtect::headerByteFromRandom(c.value), c.expected) << c.label;
    }
}

// initKeys starts from the format's constants and feeds the password; the
// empty password leaves the constants.
TEST(PwdProtect, InitKeysFromPassword) {
    const Keys empty = keysAfterInit("");
    EXPECT_EQ(empty.key0, 0x12345678u);
    EXPECT_EQ(empty.key1, 0x23456789u);
    EXPECT_EQ(empty.key2, 0x34567890u);

    // One byte by hand: key0 = crc step, key1 = (key1 + low byte) * 134775813 + 1,
    // key2 = crc step with key1's top byte; the CRC step computed bit by bit
    // with the reversed polynomial 0xEDB88320 (no table).
    auto crcStep = [](uint32_t crc, uint8_t b) {
        crc ^= b;
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ ((crc & 1u) ? 0xEDB88320u : 0u);
        return crc;
    };
    const uint32_t k0 = crcStep(0x12345678u, 'a');
    const uint32_t k1 = (0x23456789u + (k0 & 0xFF)) * 134775813u + 1u;
    const uint32_t k2 = crcStep(0x34567890u, uint8_t(k1 >> 24));
    const Keys one = keysAfterInit("a");
    EXPECT_EQ(one.key0, k0);
    EXPECT_EQ(one.key1, k1);
    EXPECT_EQ(one.key2, k2);
}

// The StringBuffer form keeps every byte, a NUL included.
TEST(PwdProtect, PasswordWithEmbeddedNul) {
    StringBuffer withNul;
    withNul.appendN("ab\0cd", 5);
    PwdProtect p;
    p.setPassword(withNul);
    p.initKeys();
    const Keys cut = keysAfterInit("ab");
    EXPECT_NE(p.key0(), cut.key0);
}

// makeHeader's bytes decipher to the generator's bytes and the check
// value's top two bytes; checkHeader accepts them without touching them.
TEST(PwdProtect, MakeHeaderThenCheckHeader) {
    const uint32_t check = 0xA1B2C3D4u;
    const uint32_t seed = 12345;
    PwdProtect writer;
    writer.setPassword("secret");
    uint8_t header[kPwdHeaderBytes];
    writer.makeHeaderSeeded(check, seed, header);

    // Decipher by hand to see every plain byte.
    PwdProtect reader;
    reader.setPassword("secret");
    reader.initKeys();
    uint8_t plain[kPwdHeaderBytes];
    std::memcpy(plain, header, sizeof(plain));
    reader.decryptBytes(plain, kPwdHeaderBytes);
    const std::vector<uint32_t> values = generatorValues(seed, 10);
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(plain[i], PwdProtect::headerByteFromRandom(values[i])) << "random byte " << i;
    }
    EXPECT_EQ(plain[10], 0xB2);
    EXPECT_EQ(plain[11], 0xA1);

    uint8_t copy[kPwdHeaderBytes];
    std::memcpy(copy, header, sizeof(copy));
    PwdProtect checker;
    checker.setPassword("secret");
    checker.initKeys();
    EXPECT_TRUE(checker.checkHeader(header, 0, check, false));
    EXPECT_EQ(0, std::memcmp(copy, header, sizeof(copy))) << "checkHeader must not change the caller's bytes";

    // The time form compares bits 8..15 of the time value instead.
    PwdProtect byTime;
    byTime.setPassword("secret");
    byTime.initKeys();
    EXPECT_TRUE(byTime.checkHeader(header, 0xA100u, 0, true));
    PwdProtect byWrongTime;
    byWrongTime.setPassword("secret");
    byWrongTime.initKeys();
    EXPECT_FALSE(byWrongTime.checkHeader(header, 0xA200u, check, true));

    // A wrong password deciphers the last byte to something else (fixed
    // seed, so this is deterministic).
    PwdProtect wrong;
    wrong.setPassword("Secret");
    wrong.initKeys();
    EXPECT_FALSE(wrong.checkHeader(header, 0, check, false));
}

// A seed whose first generator value has bits 6..13 all zero puts that
// value's low 8 bits into header byte 0.
TEST(PwdProtect, ZeroFieldTakesLowBitsInHeader) {
    uint32_t seed = 0;
    while (((generatorValues(seed, 1)[0] >> 6) & 0xFF) != 0) ++seed;
    const uint32_t value = generatorValues(seed, 1)[0];
    ASSERT_EQ((value >> 6) & 0xFF, 0u);

    PwdProtect writer;
    writer.setPassword("pw");
    uint8_t header[kPwdHeaderBytes];
    writer.makeHeaderSeeded(0, seed, header);
    PwdProtect reader;
    reader.setPassword("pw");
    reader.initKeys();
    EXPECT_EQ(reader.decryptByte(header[0]), uint8_t(value & 0xFF)) << "seed " << seed << " value " << value;
}

// Header then data, written and read back: the keys after checkHeader are
// the keys the writer had after makeHeader.
TEST(PwdProtect, EntryRoundTrip) {
    const Bytes original = patternBytes(5000, 7);
    PwdProtect writer;
    writer.setPassword("correct horse");
    uint8_t header[kPwdHeaderBytes];
    writer.makeHeader(0x55AA1234u, header);
    Bytes data = original;
    writer.encryptBytes(data.data(), uint32_t(data.size()));
    EXPECT_NE(data, original);

    PwdProtect reader;
    reader.setPassword("correct horse");
    reader.initKeys();
    ASSERT_TRUE(reader.checkHeader(header, 0, 0x55AA1234u, false));
    // Two uneven pieces equal one pass.
    reader.decryptBytes(data.data(), 1234);
    reader.decryptBytes(data.data() + 1234, uint32_t(data.size() - 1234));
    EXPECT_EQ(data, original);
}

// Two headers made back to back (same clock tick) still differ.
TEST(PwdProtect, SuccessiveHeadersDiffer) {
    PwdProtect a, b;
    a.setPassword("pw");
    b.setPassword("pw");
    uint8_t ha[kPwdHeaderBytes], hb[kPwdHeaderBytes];
    a.makeHeader(0, ha);
    b.makeHeader(0, hb);
    EXPECT_NE(0, std::memcmp(ha, hb, 10));
}
