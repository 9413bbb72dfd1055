// SHA-256 and HMAC-SHA256 against the openssl command run at test time on
// random messages and keys of many lengths: `openssl dgst -sha256` and
// `openssl dgst -sha256 -mac HMAC -macopt hexkey:...`. A missing openssl
// command fails these tests and says what to install. Native suite only
// (no openssl command under Wine).

#if !defined(_WIN32)

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "TestHex.h"
#include "crypto/HmacSha256.h"
#include "crypto/Sha256.h"

namespace {

using Bytes = std::vector<uint8_t>;

const char* const kInstallOpenssl = "the openssl command is missing: install openssl (Debian package \"openssl\")";

// Runs `openssl dgst <arguments> -binary` over a message; the raw digest.
bool opensslDigest(const std::string& arguments, const Bytes& message, Bytes& digest) {
    const std::filesystem::path folder = std::filesystem::temp_directory_path() /
                                         ("brivane-sha256-" + std::to_string(std::random_device()()));
    std::filesystem::create_directories(folder);
    const std::filesystem::path in = folder / "in.bin";
    const std::filesystem::path out = folder / "out.bin";
    {
        std::ofstream file(in, std::ios::binary);
        file.write(reinterpret_cast<const char*>(message.data()), std::streamsize(message.size()));
    }
    const std::string command = "openssl dgst " + arguments + " -binary <\"" + in.string() + "\" >\"" +
                                out.string() + "\" 2>/dev/null";
    const bool ran = std::system(command.c_str()) == 0;
    std::ifstream result(out, std::ios::binary);
    digest.assign(std::istreambuf_iterator<char>(result), std::istreambuf_iterator<char>());
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return ran;
}

Bytes randomBytes(std::mt19937& random, size_t length) {
    Bytes out(length);
    for (uint8_t& byte : out) byte = uint8_t(random());
    return out;
}

}  // namespace

TEST(Sha256Openssl, RandomMessagesMatch) {
    ASSERT_EQ(std::system("openssl version >/dev/null 2>&1"), 0) << kInstallOpenssl;
    const uint32_t seed = std::random_device()();
    std::mt19937 random(seed);
    for (size_t length : {size_t(0), size_t(1), size_t(55), size_t(56), size_t(64), size_t(1000),
                          size_t(65537), size_t(random() % 300000)}) {
        const Bytes message = randomBytes(random, length);
        Bytes expected;
        ASSERT_TRUE(opensslDigest("-sha256", message, expected)) << kInstallOpenssl;
        uint8_t digest[kSha256DigestBytes];
        Sha256::digest(message.data(), uint32_t(message.size()), digest);
        EXPECT_EQ(toHex(digest, kSha256DigestBytes), toHex(expected)) << length << " bytes, seed " << seed;
    }
}

TEST(Sha256Openssl, RandomHmacsMatch) {
    ASSERT_EQ(std::system("openssl version >/dev/null 2>&1"), 0) << kInstallOpenssl;
    const uint32_t seed = std::random_device()();
    std::mt19937 random(seed);
    // Keys below, at and above the 64-byte block (a longer key is hashed).
    for (size_t keyLength : {size_t(1), size_t(32), size_t(64), size_t(65), size_t(200)}) {
        const Bytes key = randomBytes(random, keyLength);
        const Bytes message = randomBytes(random, random() % 5000);
        Bytes expected;
        ASSERT_TRUE(opensslDigest("-sha256 -mac HMAC -macopt hexkey:" + toHex(key), message, expected))
            << kInstallOpenssl;
        uint8_t mac[kHmacSha256Bytes];
        HmacSha256::mac(key.data(), uint32_t(key.size()), message.data(), uint32_t(message.size()), mac);
        EXPECT_EQ(toHex(mac, kHmacSha256Bytes), toHex(expected))
            << "key of " << keyLength << " bytes, message of " << message.size() << ", seed " << seed;
    }
}

#endif
