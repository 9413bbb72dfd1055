// SHA-1 against the FIPS 180 example messages, plus the property that a
// message fed in pieces hashes like the same message in one call.

#include "crypto/Sha1.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "TestHex.h"

namespace {

std::string sha1Hex(const std::string& message) {
    uint8_t digest[kSha1DigestBytes];
    Sha1::digest(message.data(), uint32_t(message.size()), digest);
    return toHex(digest, sizeof(digest));
}

struct Sha1Vector {
    const char* label;
    std::string message;
    const char* digestHex;
};

}  // namespace

// From FIPS 180-2 appendix A (the SHA-1 examples) and the empty message.
TEST(Sha1, KnownAnswersFips180) {
    const Sha1Vector vectors[] = {
        {"one block 'abc'", "abc", "a9993e364706816aba3e25717850c26c9cd0d89d"},
        {"two blocks, 448 bits", "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
        {"one million 'a'", std::string(1000000, 'a'), "34aa973cd4c4daa4f61eeb2bdbad27316534016f"},
        {"empty message", "", "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
    };
    for (const Sha1Vector& v : vectors) {
        EXPECT_EQ(sha1Hex(v.message), v.digestHex) << v.label;
    }
}

// Messages whose padding falls on each side of the 56-byte boundary, hashed
// in uneven pieces, must equal the one-shot digest.
TEST(Sha1, PiecesEqualOneShot) {
    for (uint32_t length : {55u, 56u, 63u, 64u, 65u, 119u, 120u, 1000u}) {
        std::vector<uint8_t> message(length);
        for (uint32_t i = 0; i < length; ++i) message[i] = uint8_t(i * 7 + 3);
        uint8_t oneShot[kSha1DigestBytes];
        Sha1::digest(message.data(), length, oneShot);

        Sha1 sha;
        uint32_t pos = 0;
        for (uint32_t piece = 1; pos < length; piece = piece * 3 % 71 + 1) {
            const uint32_t take = std::min(piece, length - pos);
            sha.update(message.data() + pos, take);
            pos += take;
        }
        uint8_t pieces[kSha1DigestBytes];
        sha.final(pieces);
        EXPECT_EQ(toHex(pieces, 20), toHex(oneShot, 20)) << "length " << length;
    }
}
