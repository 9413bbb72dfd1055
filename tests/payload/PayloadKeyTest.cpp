// The AES key of an encrypted payload: MD5(password), extended with
// MD5(password + "2") for 192 and 256 bits. Expected digests from md5sum.

#include "payload/PayloadKey.h"

#include <gtest/gtest.h>

#include <string>

#include "PayloadTestSupport.h"
#include "core/DataBuffer.h"
#include "core/StringBuffer.h"
#include "io/MemoryDataSource.h"
#include "payload/SimpleArchive.h"

using namespace payload_test;

namespace {

// printf '%s' TEXT | md5sum
struct Md5Answer {
    const char* text;
    Bytes digest;
};
const Md5Answer kSecret = {"secret", {0x5e, 0xbe, 0x22, 0x94, 0xec, 0xd0, 0xe0, 0xf0,
                                      0x8e, 0xab, 0x76, 0x90, 0xd2, 0xa6, 0xee, 0x69}};
const Md5Answer kSecret2 = {"secret2", {0xe5, 0x4c, 0xfb, 0x37, 0x14, 0xf7, 0x6c, 0xed,
                                        0xd4, 0xb2, 0x78, 0x89, 0xe1, 0xf6, 0xa1, 0x74}};
const Md5Answer kEmpty = {"", {0xd4, 0x1d, 0x8c, 0xd9, 0x8f, 0x00, 0xb2, 0x04,
                               0xe9, 0x80, 0x09, 0x98, 0xec, 0xf8, 0x42, 0x7e}};
const Md5Answer kTwo = {"2", {0xc8, 0x1e, 0x72, 0x8d, 0x9d, 0x4c, 0x2f, 0x63,
                              0x6f, 0x06, 0x7f, 0x89, 0xcc, 0x14, 0x86, 0x2c}};

Bytes keyFor(const Md5Answer& password, const Md5Answer& extended, int keyBits) {
    Bytes key = password.digest;
    if (keyBits == 192) key.insert(key.end(), extended.digest.begin(), extended.digest.begin() + 8);
    if (keyBits == 256) append(key, extended.digest);
    return key;
}

TEST(PayloadKey, IsTheMd5OfThePasswordExtendedForLongerKeys) {
    struct Case {
        const Md5Answer& password;
        const Md5Answer& extended;
        int keyBits;
    } cases[] = {
        {kSecret, kSecret2, 128}, {kSecret, kSecret2, 192}, {kSecret, kSecret2, 256},
        {kEmpty, kTwo, 128},      {kEmpty, kTwo, 192},      {kEmpty, kTwo, 256},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << '"' << c.password.text << "\" " << c.keyBits);
        StringBuffer password(c.password.text);
        DataBuffer key;
        key.append("stale", 5);
        derivePayloadKey(password, c.keyBits, key);
        EXPECT_EQ(bytesOf(key), keyFor(c.password, c.extended, c.keyBits));
        EXPECT_STREQ(password.getString(), c.password.text) << "the password is left as it was";
    }
}

// The archive derives at the key length its header gives (code 0, 1, 2).
TEST(PayloadKey, SimpleArchiveDerivesAtTheHeaderKeyLength) {
    const Bytes marker = {0x48, 0x12, 0x90, 0xBF, 0x49, 0xFF, 0x91, 0xAA};
    for (uint8_t code : {0, 1, 2}) {
        SCOPED_TRACE(int(code));
        Bytes image = marker;
        append(image, {0, 0, 0, 0, 1, code});
        MemoryDataSource source(image.data(), uint32_t(image.size()));
        SimpleArchive archive;
        archive.setSource(&source);
        ASSERT_TRUE(archive.findMarker());
        ASSERT_TRUE(archive.readHeader());
        DataBuffer key;
        archive.deriveKey(StringBuffer("secret"), key);
        const int keyBits = code == 0 ? 128 : code == 1 ? 192 : 256;
        EXPECT_EQ(bytesOf(key), keyFor(kSecret, kSecret2, keyBits));
    }
}

}  // namespace
