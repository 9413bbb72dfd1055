// PBKDF2-HMAC-SHA1 against RFC 6070 (all but the 16,777,216-iteration case)
// and the argument checks of deriveHmacSha1.

#include "crypto/Pbkdf2.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestHex.h"

namespace {

struct Pbkdf2Vector {
    std::string password;
    std::string salt;
    uint32_t iterations;
    const char* derivedHex;
};

}  // namespace

// From RFC 6070 section 2. The case with 16,777,216 iterations is left out:
// it only repeats the iteration loop.
TEST(Pbkdf2, KnownAnswersRfc6070) {
    const Pbkdf2Vector vectors[] = {
        {"password", "salt", 1, "0c60c80f961f0e71f3a9b524af6012062fe037a6"},
        {"password", "salt", 2, "ea6c014dc72d6f8ccd1ed92ace1d41f0d8de8957"},
        {"password", "salt", 4096, "4b007901b765489abead49d926f721d065a429c1"},
        {"passwordPASSWORDpassword", "saltSALTsaltSALTsaltSALTsaltSALTsalt", 4096,
         "3d2eec4fe41c849b80c8d83662c0e44a8b291a964cf2f07038"},
        {std::string("pass\0word", 9), std::string("sa\0lt", 5), 4096, "56fa6aa75548099dcc37d7f03425e0c3"},
    };
    for (const Pbkdf2Vector& v : vectors) {
        const std::vector<uint8_t> expected = fromHex(v.derivedHex);
        std::vector<uint8_t> out(expected.size());
        ASSERT_TRUE(Pbkdf2::deriveHmacSha1(reinterpret_cast<const uint8_t*>(v.password.data()),
                                           uint32_t(v.password.size()),
                                           reinterpret_cast<const uint8_t*>(v.salt.data()),
                                           uint32_t(v.salt.size()), v.iterations, out.data(),
                                           uint32_t(out.size())));
        EXPECT_EQ(toHex(out), v.derivedHex) << "password of " << v.password.size() << " bytes, c = " << v.iterations;
    }
}

// A shorter request is a prefix of a longer one (blocks are independent).
TEST(Pbkdf2, OutputIsPrefixStable) {
    const uint8_t password[] = {'p', 'w'};
    const uint8_t salt[] = {1, 2, 3, 4, 5, 6, 7, 8};
    std::vector<uint8_t> longOut(66), shortOut(34);
    ASSERT_TRUE(Pbkdf2::deriveHmacSha1(password, 2, salt, 8, 1000, longOut.data(), 66));
    ASSERT_TRUE(Pbkdf2::deriveHmacSha1(password, 2, salt, 8, 1000, shortOut.data(), 34));
    EXPECT_EQ(toHex(shortOut), toHex(longOut.data(), 34));
}

TEST(Pbkdf2, RejectsInvalidArguments) {
    const uint8_t salt[] = {1, 2, 3, 4};
    uint8_t out[20] = {0};
    EXPECT_FALSE(Pbkdf2::deriveHmacSha1(reinterpret_cast<const uint8_t*>("pw"), 2, salt, 4, 0, out, 20))
        << "zero iterations";
    EXPECT_FALSE(Pbkdf2::deriveHmacSha1(nullptr, 2, salt, 4, 1, out, 20)) << "null password with length";
    EXPECT_FALSE(Pbkdf2::deriveHmacSha1(reinterpret_cast<const uint8_t*>("pw"), 2, nullptr, 4, 1, out, 20))
        << "null salt with length";
    EXPECT_FALSE(Pbkdf2::deriveHmacSha1(reinterpret_cast<const uint8_t*>("pw"), 2, salt, 4, 1, nullptr, 20))
        << "null output";
    EXPECT_TRUE(Pbkdf2::deriveHmacSha1(nullptr, 0, salt, 4, 1, out, 20)) << "empty password is allowed";
}
