// The WinZip AES context: counter-mode pieces and the key set-up limits.

#include "crypto/WinZipAesContext.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "ZipCryptTestSupport.h"
#include "crypto/Pbkdf2.h"

using zipcrypt_test::Bytes;
using zipcrypt_test::patternBytes;

namespace {

const uint8_t kSalt[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};

struct Sealed {
    Bytes cipher;
    Bytes code;
};

// Enciphers plain in pieces of the given sizes (the last piece takes the rest).
Sealed seal(const Bytes& plain, const std::vector<uint32_t>& pieces, int32_t strength) {
    WinZipAesContext context;
    EXPECT_TRUE(context.setup(reinterpret_cast<const uint8_t*>("pw"), 2, kSalt, strength));
    Sealed s{plain, Bytes(kWinZipAesAuthCodeBytes)};
    uint32_t pos = 0;
    for (uint32_t piece : pieces) {
        const uint32_t take = std::min<uint32_t>(piece, uint32_t(plain.size()) - pos);
        context.encrypt(s.cipher.data() + pos, take);
        pos += take;
    }
    context.encrypt(s.cipher.data() + pos, uint32_t(plain.size()) - pos);
    context.authCode(s.code.data());
    return s;
}

}  // namespace

// Pieces that split keystream blocks anywhere give the same ciphertext and
// code as one call, and decryption in other pieces restores the plaintext.
TEST(WinZipAesContext, PiecesEqualOneCall) {
    const Bytes plain = patternBytes(1000, 17);
    for (int32_t strength : {1, 2, 3}) {
        const Sealed whole = seal(plain, {}, strength);
        const Sealed pieces = seal(plain, {1, 15, 17, 3, 16, 32, 100, 5}, strength);
        EXPECT_EQ(pieces.cipher, whole.cipher) << "strength " << strength;
        EXPECT_EQ(pieces.code, whole.code) << "strength " << strength;

        WinZipAesContext reader;
        ASSERT_TRUE(reader.setup(reinterpret_cast<const uint8_t*>("pw"), 2, kSalt, strength));
        Bytes back = whole.cipher;
        reader.decrypt(back.data(), 7);
        reader.decrypt(back.data() + 7, uint32_t(back.size()) - 7);
        Bytes code(kWinZipAesAuthCodeBytes);
        reader.authCode(code.data());
        EXPECT_EQ(back, plain);
        EXPECT_EQ(code, whole.code);
    }
}

// The verifier is the two bytes after the AES and HMAC keys in the PBKDF2
// output over the strength's salt length.
TEST(WinZipAesContext, VerifierFollowsTheKeys) {
    const struct {
        int32_t strength;
        uint32_t saltBytes;
        uint32_t keyBytes;
    } cases[] = {{1, 8, 16}, {2, 12, 24}, {3, 16, 32}};
    for (const auto& c : cases) {
        uint8_t derived[66];
        ASSERT_TRUE(Pbkdf2::deriveHmacSha1(reinterpret_cast<const uint8_t*>("pw"), 2, kSalt, c.saltBytes, 1000,
                                           derived, 2 * c.keyBytes + 2));
        WinZipAesContext context;
        ASSERT_TRUE(context.setup(reinterpret_cast<const uint8_t*>("pw"), 2, kSalt, c.strength));
        EXPECT_EQ(context.verifier()[0], derived[2 * c.keyBytes]) << "strength " << c.strength;
        EXPECT_EQ(context.verifier()[1], derived[2 * c.keyBytes + 1]) << "strength " << c.strength;
    }
}

TEST(WinZipAesContext, SetupLimits) {
    const std::string password128(128, 'p');
    const std::string password129(129, 'p');
    const struct {
        const char* label;
        const std::string* password;
        int32_t strength;
        bool ok;
    } cases[] = {
        {"128-byte password", &password128, 3, true},
        {"129-byte password", &password129, 3, false},
        {"strength 256", &password128, 256, true},
        {"strength 192", &password128, 192, true},
        {"strength 128", &password128, 128, true},
        {"strength 0", &password128, 0, false},
        {"strength 4", &password128, 4, false},
        {"strength 64", &password128, 64, false},
    };
    for (const auto& c : cases) {
        WinZipAesContext context;
        EXPECT_EQ(context.setup(reinterpret_cast<const uint8_t*>(c.password->data()), uint32_t(c.password->size()),
                                kSalt, c.strength),
                  c.ok)
            << c.label;
        EXPECT_EQ(context.isReady(), c.ok) << c.label;
    }
}
