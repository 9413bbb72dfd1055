// HMAC-SHA1 against all seven test cases of RFC 2202 section 3.

#include "crypto/HmacSha1.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestHex.h"

namespace {

struct HmacVector {
    int testCase;
    std::vector<uint8_t> key;
    std::vector<uint8_t> data;
    const char* digestHex;
};

std::vector<uint8_t> bytesOf(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

}  // namespace

// From RFC 2202, "Test Cases for HMAC-SHA-1".
TEST(HmacSha1, KnownAnswersRfc2202) {
    const HmacVector vectors[] = {
        {1, std::vector<uint8_t>(20, 0x0b), bytesOf("Hi There"), "b617318655057264e28bc0b6fb378c8ef146be00"},
        {2, bytesOf("Jefe"), bytesOf("what do ya want for nothing?"),
         "effcdf6ae5eb2fa2d27416d5f184df9c259a7c79"},
        {3, std::vector<uint8_t>(20, 0xaa), std::vector<uint8_t>(50, 0xdd),
         "125d7342b9ac11cd91a39af48aa17b4f63f175d3"},
        {4, fromHex("0102030405060708090a0b0c0d0e0f10111213141516171819"), std::vector<uint8_t>(50, 0xcd),
         "4c9007f4026250c6bc8414f9bf50c86c2d7235da"},
        {5, std::vector<uint8_t>(20, 0x0c), bytesOf("Test With Truncation"),
         "4c1a03424b55e07fe7f27be1d58bb9324a9a5a04"},
        {6, std::vector<uint8_t>(80, 0xaa), bytesOf("Test Using Larger Than Block-Size Key - Hash Key First"),
         "aa4ae5e15272d00e95705637ce8a3b55ed402112"},
        {7, std::vector<uint8_t>(80, 0xaa),
         bytesOf("Test Using Larger Than Block-Size Key and Larger Than One Block-Size Data"),
         "e8e99d0f45237d786d6bbaa7965c7808bbff1a91"},
    };
    for (const HmacVector& v : vectors) {
        uint8_t mac[kHmacSha1Bytes];
        HmacSha1::mac(v.key.data(), uint32_t(v.key.size()), v.data.data(), uint32_t(v.data.size()), mac);
        EXPECT_EQ(toHex(mac, sizeof(mac)), v.digestHex) << "RFC 2202 test case " << v.testCase;
    }
}

// final() leaves the object keyed: a second message under the same key gives
// the same code as a fresh object.
TEST(HmacSha1, FinalRestartsUnderSameKey) {
    HmacSha1 hmac;
    hmac.init("Jefe", 4);
    uint8_t first[kHmacSha1Bytes];
    hmac.update("ignored message", 15);
    hmac.final(first);
    const std::string message = "what do ya want for nothing?";
    hmac.update(message.data(), uint32_t(message.size()));
    uint8_t second[kHmacSha1Bytes];
    hmac.final(second);
    EXPECT_EQ(toHex(second, 20), "effcdf6ae5eb2fa2d27416d5f184df9c259a7c79");
}
