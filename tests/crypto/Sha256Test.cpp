// SHA-256, HMAC-SHA256 and PBKDF2-HMAC-SHA256 against their published
// vectors (FIPS 180-4 examples, RFC 4231, RFC 7914 section 11), the
// incremental interface against the one-shot one, and the constant-time
// comparison used for verifiers and authentication codes.

#include "crypto/Sha256.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestHex.h"
#include "core/ConstantTime.h"
#include "crypto/HmacSha256.h"
#include "crypto/Pbkdf2.h"

namespace {

std::string sha256Hex(const std::string& message) {
    uint8_t digest[kSha256DigestBytes];
    Sha256::digest(message.data(), uint32_t(message.size()), digest);
    return toHex(digest, kSha256DigestBytes);
}

struct HmacVector {
    std::vector<uint8_t> key;
    std::string data;
    const char* macHex;  // truncated codes give only their leading bytes
};

}  // namespace

// From the FIPS 180-4 examples (one-block "abc", two-block 448-bit message)
// and the long-message value of a million 'a'; the empty message.
TEST(Sha256, KnownAnswersFips180) {
    EXPECT_EQ(sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(sha256Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(sha256Hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    EXPECT_EQ(sha256Hex(std::string(1000000, 'a')),
              "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

// Pieces of every size up to two blocks give the one-shot digest, and the
// padding boundary lengths (55, 56, 63, 64 bytes) are covered.
TEST(Sha256, PiecesEqualOneShot) {
    std::string message;
    for (int i = 0; i < 300; ++i) message.push_back(char(i * 31 + 7));
    for (uint32_t length : {0u, 1u, 55u, 56u, 63u, 64u, 65u, 119u, 120u, 128u, 300u}) {
        const std::string part = message.substr(0, length);
        for (uint32_t piece = 1; piece <= 129; piece += 16) {
            Sha256 sha;
            for (uint32_t at = 0; at < length; at += piece) {
                sha.update(part.data() + at, std::min(piece, length - at));
            }
            uint8_t digest[kSha256DigestBytes];
            sha.final(digest);
            EXPECT_EQ(toHex(digest, kSha256DigestBytes), sha256Hex(part)) << length << " bytes in pieces of " << piece;
        }
    }
}

// From RFC 4231 section 4, test cases 1 to 7 (case 5's code is truncated to
// 128 bits there).
TEST(HmacSha256, KnownAnswersRfc4231) {
    const HmacVector vectors[] = {
        {std::vector<uint8_t>(20, 0x0b), "Hi There",
         "b0344c61d8db38535ca8afceaf0bf12b881dc200c9833da726e9376c2e32cff7"},
        {std::vector<uint8_t>{'J', 'e', 'f', 'e'}, "what do ya want for nothing?",
         "5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843"},
        {std::vector<uint8_t>(20, 0xaa), std::string(50, '\xdd'),
         "773ea91e36800e46854db8ebd09181a72959098b3ef8c122d9635514ced565fe"},
        {fromHex("0102030405060708090a0b0c0d0e0f10111213141516171819"), std::string(50, '\xcd'),
         "82558a389a443c0ea4cc819899f2083a85f0faa3e578f8077a2e3ff46729665b"},
        {std::vector<uint8_t>(20, 0x0c), "Test With Truncation", "a3b6167473100ee06e0c796c2955552b"},
        {std::vector<uint8_t>(131, 0xaa), "Test Using Larger Than Block-Size Key - Hash Key First",
         "60e431591ee0b67f0d8a26aacbf5b77f8e0bc6213728c5140546040f0ee37f54"},
        {std::vector<uint8_t>(131, 0xaa),
         "This is a test using a larger than block-size key and a larger than block-size data. The key needs to "
         "be hashed before being used by the HMAC algorithm.",
         "9b09ffa71b942fcb27635fbcd5b0e944bfdc63644f0713938a7f51535c3a35e2"},
    };
    int testCase = 1;
    for (const HmacVector& v : vectors) {
        uint8_t mac[kHmacSha256Bytes];
        HmacSha256::mac(v.key.data(), uint32_t(v.key.size()), v.data.data(), uint32_t(v.data.size()), mac);
        const std::string expected = v.macHex;
        EXPECT_EQ(toHex(mac, kHmacSha256Bytes).substr(0, expected.size()), expected) << "test case " << testCase;
        ++testCase;
    }
}

// final() leaves the object keyed: a second message under the same key
// gives the one-shot code.
TEST(HmacSha256, FinalKeepsTheKey) {
    HmacSha256 hmac;
    hmac.init("Jefe", 4);
    uint8_t first[kHmacSha256Bytes], second[kHmacSha256Bytes], expected[kHmacSha256Bytes];
    hmac.update("other message", 13);
    hmac.final(first);
    hmac.update("what do ya want ", 16);
    hmac.update("for nothing?", 12);
    hmac.final(second);
    HmacSha256::mac("Jefe", 4, "what do ya want for nothing?", 28, expected);
    EXPECT_EQ(toHex(second, kHmacSha256Bytes), toHex(expected, kHmacSha256Bytes));
    EXPECT_NE(toHex(first, kHmacSha256Bytes), toHex(expected, kHmacSha256Bytes));
}

// From RFC 7914 section 11 (the PBKDF2-HMAC-SHA256 examples), 64 bytes
// each: two output blocks.
TEST(Pbkdf2Sha256, KnownAnswersRfc7914) {
    struct Case {
        std::string password, salt;
        uint32_t iterations;
        const char* derivedHex;
    } cases[] = {
        {"passwd", "salt", 1,
         "55ac046e56e3089fec1691c22544b605f94185216dde0465e68b9d57c20dacbc"
         "49ca9cccf179b645991664b39d77ef317c71b845b1e30bd509112041d3a19783"},
        {"Password", "NaCl", 80000,
         "4ddcd8f60b98be21830cee5ef22701f9641a4418d04c0414aeff08876b34ab56"
         "a1d425a1225833549adb841b51c9b3176a272bdebba1d078478f62b397f33c8d"},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> out(64);
        ASSERT_TRUE(Pbkdf2::deriveHmacSha256(reinterpret_cast<const uint8_t*>(c.password.data()),
                                             uint32_t(c.password.size()),
                                             reinterpret_cast<const uint8_t*>(c.salt.data()),
                                             uint32_t(c.salt.size()), c.iterations, out.data(), 64));
        EXPECT_EQ(toHex(out), c.derivedHex) << c.password << ", c = " << c.iterations;
    }
    uint8_t out[32];
    EXPECT_FALSE(Pbkdf2::deriveHmacSha256(reinterpret_cast<const uint8_t*>("pw"), 2, nullptr, 0, 0, out, 32));
    EXPECT_FALSE(Pbkdf2::deriveHmacSha256(nullptr, 2, nullptr, 0, 1, out, 32));
}

// The comparison looks at every byte: its result is the OR of all the
// differences, so differences in the first and in the last byte both show.
// A comparison that stopped at the first difference could not return it.
TEST(ConstantTime, EveryByteIsCompared) {
    std::vector<uint8_t> a(32, 0x5a), b(32, 0x5a);
    EXPECT_EQ(constantTimeDifference(a.data(), b.data(), 32), 0);
    EXPECT_TRUE(constantTimeEqual(a.data(), b.data(), 32));
    b[0] ^= 0x01;
    b[31] ^= 0x80;
    EXPECT_EQ(constantTimeDifference(a.data(), b.data(), 32), 0x81);
    EXPECT_FALSE(constantTimeEqual(a.data(), b.data(), 32));
    b[0] ^= 0x01;
    EXPECT_EQ(constantTimeDifference(a.data(), b.data(), 32), 0x80) << "a difference in the last byte only";
}
