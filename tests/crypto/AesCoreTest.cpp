// AES block transform against the published FIPS-197 examples, run by one
// driver against both implementations that expose it (the bare AesCore and
// Rijndael2 in ECB mode through its block-to-block operations), each with
// every engine the processor offers.

#include "crypto/AesCore.h"
#include "crypto/Rijndael2.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "AesEngineTestSupport.h"
#include "TestHex.h"

namespace {

struct AesVector {
    const char* label;
    int32_t keyBits;
    const char* keyHex;
    const char* plainHex;
    const char* cipherHex;
};

// From FIPS-197: appendix B (the cipher example) and appendix C.1 to C.3
// (example vectors for the three key lengths).
const AesVector kFips197Vectors[] = {
    {"FIPS-197 B, AES-128", 128, "2b7e151628aed2a6abf7158809cf4f3c",
     "3243f6a8885a308d313198a2e0370734", "3925841d02dc09fbdc118597196a0b32"},
    {"FIPS-197 C.1, AES-128", 128, "000102030405060708090a0b0c0d0e0f",
     "00112233445566778899aabbccddeeff", "69c4e0d86a7b0430d8cdb78070b4c55a"},
    {"FIPS-197 C.2, AES-192", 192, "000102030405060708090a0b0c0d0e0f1011121314151617",
     "00112233445566778899aabbccddeeff", "dda97ca4864cdfe06eaf70a0ec0d7191"},
    {"FIPS-197 C.3, AES-256", 256,
     "000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f",
     "00112233445566778899aabbccddeeff", "8ea2b7ca516745bfeafc49904b496089"},
};

// One implementation under test: a block in, a block out, one direction.
using BlockTransform = std::vector<uint8_t> (*)(const AesVector&, const std::vector<uint8_t>& in,
                                                bool encrypt);

std::vector<uint8_t> runAesCore(const AesVector& v, const std::vector<uint8_t>& in, bool encrypt)
{
    const std::vector<uint8_t> key = fromHex(v.keyHex);
    AesCore core;
    const auto direction = encrypt ? AesCore::Direction::Encrypt : AesCore::Direction::Decrypt;
    EXPECT_TRUE(core.expandKey(key.data(), uint32_t(key.size()), direction)) << v.label;
    std::vector<uint8_t> out(kAesBlockBytes);
    if (encrypt)
        core.encryptBlock(in.data(), out.data());
    else
        core.decryptBlock(in.data(), out.data());
    return out;
}

std::vector<uint8_t> runRijndael2Ecb(const AesVector& v, const std::vector<uint8_t>& in, bool encrypt)
{
    const std::vector<uint8_t> key = fromHex(v.keyHex);
    Rijndael2 cipher;
    EXPECT_EQ(cipher.setKeyLength(v.keyBits), v.keyBits);
    cipher.setEcbMode();
    DataBuffer keyBuffer;
    keyBuffer.append(key.data(), uint32_t(key.size()));
    cipher.setKey(keyBuffer);

    BlockBuffer input;
    BlockBuffer output;
    input.reserve(uint32_t(in.size()));
    std::memcpy(input.data(), in.data(), in.size());
    input.setLength(uint32_t(in.size()));
    const bool ok = encrypt ? cipher.encryptBlocks(input, output) : cipher.decryptBlocks(input, output);
    EXPECT_TRUE(ok) << v.label;
    return std::vector<uint8_t>(output.data(), output.data() + output.length());
}

void checkKnownAnswers(const char* implementation, BlockTransform transform)
{
    for (AesCore::Engine engine : availableAesEngines()) {
        ScopedAesEngine scoped(engine);
        for (const AesVector& v : kFips197Vectors) {
            const std::vector<uint8_t> plain = fromHex(v.plainHex);
            const std::vector<uint8_t> cipher = fromHex(v.cipherHex);
            EXPECT_EQ(toHex(transform(v, plain, true)), v.cipherHex)
                << implementation << " (" << aesEngineName(engine) << "), " << v.label;
            EXPECT_EQ(toHex(transform(v, cipher, false)), v.plainHex)
                << implementation << " (" << aesEngineName(engine) << "), " << v.label;
        }
    }
}

} // namespace

TEST(AesKnownAnswers, Fips197AesCore)
{
    checkKnownAnswers("AesCore", runAesCore);
}

TEST(AesKnownAnswers, Fips197Rijndael2Ecb)
{
    checkKnownAnswers("Rijndael2 ECB", runRijndael2Ecb);
}

// Only the three AES key sizes expand; anything else leaves no schedule, and
// a schedule is only used for the direction it was made for.
TEST(AesCore, KeySizesAndDirection)
{
    const std::vector<uint8_t> key = fromHex(kFips197Vectors[1].keyHex);
    const std::vector<uint8_t> plain = fromHex(kFips197Vectors[1].plainHex);
    uint8_t keyArea[40] = {};
    AesCore core;
    for (uint32_t keyBytes : {0u, 8u, 15u, 17u, 20u, 31u, 33u, 40u}) {
        EXPECT_FALSE(core.expandKey(keyArea, keyBytes, AesCore::Direction::Encrypt)) << keyBytes;
        EXPECT_FALSE(core.isReady()) << keyBytes;
    }
    EXPECT_FALSE(core.expandKey(nullptr, kAes128KeyBytes, AesCore::Direction::Encrypt));

    ASSERT_TRUE(core.expandKey(key.data(), kAes128KeyBytes, AesCore::Direction::Decrypt));
    EXPECT_EQ(core.rounds(), kAes128Rounds);
    uint8_t out[kAesBlockBytes] = {};
    core.encryptBlock(plain.data(), out); // wrong direction: output untouched
    EXPECT_EQ(toHex(out, sizeof(out)), std::string(32, '0'));
}

// The transform may work in place (in == out), which the counter and CBC
// modes rely on.
TEST(AesCore, InPlaceBlock)
{
    const AesVector& v = kFips197Vectors[3];
    const std::vector<uint8_t> key = fromHex(v.keyHex);
    for (AesCore::Engine engine : availableAesEngines()) {
        ScopedAesEngine scoped(engine);
        std::vector<uint8_t> block = fromHex(v.plainHex);
        AesCore encryptor;
        AesCore decryptor;
        ASSERT_TRUE(encryptor.expandKey(key.data(), kAes256KeyBytes, AesCore::Direction::Encrypt));
        ASSERT_TRUE(decryptor.expandKey(key.data(), kAes256KeyBytes, AesCore::Direction::Decrypt));
        EXPECT_EQ(decryptor.rounds(), kAes256Rounds);
        encryptor.encryptBlock(block.data(), block.data());
        EXPECT_EQ(toHex(block), v.cipherHex) << aesEngineName(engine);
        decryptor.decryptBlock(block.data(), block.data());
        EXPECT_EQ(toHex(block), v.plainHex) << aesEngineName(engine);
    }
}
