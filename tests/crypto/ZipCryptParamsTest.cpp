// ZipCryptParams: construction defaults and the five-field copy.

#include "crypto/ZipCryptParams.h"

#include <gtest/gtest.h>

#include <cstring>

TEST(ZipCryptParams, StartsEmpty) {
    ZipCryptParams p;
    EXPECT_EQ(p.encryptMethod, kZipEncryptNone);
    EXPECT_EQ(p.keyBits, 0);
    EXPECT_EQ(p.password.getSize(), 0);
    EXPECT_EQ(p.pwdProtect, 0);
    EXPECT_EQ(p.checkCrc, 0u);
}

// All five fields travel; the password keeps an embedded NUL, replaces the
// old one and is shrunk to its length + 1.
TEST(ZipCryptParams, CopyTransfersAllFields) {
    ZipCryptParams from;
    from.encryptMethod = kZipEncryptWinZipAes;
    from.keyBits = 192;
    from.password.appendN("pa\0ss", 5);
    from.pwdProtect = 1;
    from.checkCrc = 0xCBF43926u;

    ZipCryptParams to;
    to.password.append("an older and much longer password");
    to.copyCryptParams(from);
    EXPECT_EQ(to.encryptMethod, kZipEncryptWinZipAes);
    EXPECT_EQ(to.keyBits, 192);
    ASSERT_EQ(to.password.getSize(), 5);
    EXPECT_EQ(0, std::memcmp(to.password.getString(), "pa\0ss", 5));
    EXPECT_EQ(to.password.getCapacity(), 6);
    EXPECT_EQ(to.pwdProtect, 1);
    EXPECT_EQ(to.checkCrc, 0xCBF43926u);

    to.copyCryptParams(to);  // copying onto itself changes nothing
    EXPECT_EQ(to.password.getSize(), 5);
}
