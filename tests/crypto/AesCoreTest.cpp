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
#include "AesTestVectors.h"
#include "TestHex.h"

namespace {

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
