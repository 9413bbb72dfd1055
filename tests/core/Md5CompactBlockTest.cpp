// The compact MD5 compression loop (the installer stub's form): driven here
// through the RFC 1321 padding, it must give the RFC's test-suite digests and
// the same digests as the library's unrolled form on messages of every
// length around the block and padding boundaries.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "core/DataBuffer.h"
#include "core/DigestMD5.h"
#include "core/Md5CompactBlock.h"
#include "../crypto/TestHex.h"
#include "Md5TestVectors.h"

namespace {

constexpr size_t kBlockBytes = 64;
constexpr size_t kLengthFieldAt = 56;

// MD5 of a message with every block through md5CompressCompact.
std::string compactMd5(const std::vector<uint8_t>& message) {
    std::vector<uint8_t> padded(message);
    padded.push_back(0x80);
    while (padded.size() % kBlockBytes != kLengthFieldAt) padded.push_back(0);
    const uint64_t bits = static_cast<uint64_t>(message.size()) * 8;
    for (int i = 0; i < 8; ++i) padded.push_back(static_cast<uint8_t>(bits >> (8 * i)));
    uint32_t state[4] = {0x67452301u, 0xEFCDAB89u, 0x98BADCFEu, 0x10325476u};
    for (size_t at = 0; at < padded.size(); at += kBlockBytes) md5CompressCompact(state, padded.data() + at);
    uint8_t digest[16];
    for (int i = 0; i < 16; ++i) digest[i] = static_cast<uint8_t>(state[i / 4] >> (8 * (i % 4)));
    return toHex(digest, sizeof digest);
}

std::string libraryMd5(const std::vector<uint8_t>& message) {
    DataBuffer data;
    data.append(message.data(), static_cast<uint32_t>(message.size()));
    uint8_t digest[16];
    DigestMD5().digestData(data, digest);
    return toHex(digest, sizeof digest);
}

}  // namespace

// From RFC 1321, appendix A.5 (the test suite).
TEST(Md5CompactBlock, Rfc1321TestSuite) {
    for (const Md5Vector& v : kRfc1321Suite) {
        SCOPED_TRACE(v.message);
        EXPECT_EQ(v.digest, compactMd5(std::vector<uint8_t>(v.message, v.message + std::strlen(v.message))));
    }
}

TEST(Md5CompactBlock, AgreesWithTheUnrolledFormOnEveryLengthUpToFourBlocks) {
    std::vector<uint8_t> message;
    uint32_t seed = 0x2545F491u;
    for (size_t length = 0; length <= 4 * kBlockBytes; ++length) {
        SCOPED_TRACE("length " + std::to_string(length));
        EXPECT_EQ(libraryMd5(message), compactMd5(message));
        seed = seed * 1664525u + 1013904223u;
        message.push_back(static_cast<uint8_t>(seed >> 24));
    }
}
