// The ECB/CBC driver shared by the ciphers. Two independent CBC
// implementations meet here: the driver's own one-block-at-a-time loop
// (BlockwiseTransform over AesCore's single-block transform) and AesCore's
// bulk CBC (the pipelined instruction path or the tables). Both must give the
// published CBC example of NIST SP 800-38A, and each other's bytes over every
// length, in place and out of place, with every engine the processor offers.

#include "crypto/BlockChaining.h"

#include <gtest/gtest.h>

#include <vector>

#include "AesEngineTestSupport.h"
#include "TestHex.h"
#include "crypto/AesCore.h"

namespace {

// AES through the driver's own chaining loops.
class AesOneBlockAtATime final : public BlockwiseTransform {
public:
    explicit AesOneBlockAtATime(const AesCore& core) : m_core(core) {}
    uint32_t blockBytes() const override { return kAesBlockBytes; }

protected:
    void encryptBlock(const uint8_t* in, uint8_t* out) const override { m_core.encryptBlock(in, out); }
    void decryptBlock(const uint8_t* in, uint8_t* out) const override { m_core.decryptBlock(in, out); }

private:
    const AesCore& m_core;
};

// AES through AesCore's bulk ECB and CBC.
class AesBulk final : public BlockTransform {
public:
    explicit AesBulk(const AesCore& core) : m_core(core) {}
    uint32_t blockBytes() const override { return kAesBlockBytes; }
    void encryptEcb(const uint8_t* in, uint8_t* out, size_t blocks) const override
    {
        m_core.encryptBlocks(in, out, blocks);
    }
    void decryptEcb(const uint8_t* in, uint8_t* out, size_t blocks) const override
    {
        m_core.decryptBlocks(in, out, blocks);
    }
    void encryptCbc(const uint8_t* in, uint8_t* out, size_t blocks, uint8_t* chain) const override
    {
        m_core.encryptCbc(in, out, blocks, chain);
    }
    void decryptCbc(const uint8_t* in, uint8_t* out, size_t blocks, uint8_t* chain) const override
    {
        m_core.decryptCbc(in, out, blocks, chain);
    }

private:
    const AesCore& m_core;
};

// From NIST SP 800-38A, F.2.1 and F.2.2 (CBC-AES128).
const char kSp80038aKey[] = "2b7e151628aed2a6abf7158809cf4f3c";
const char kSp80038aIv[] = "000102030405060708090a0b0c0d0e0f";
const char kSp80038aPlain[] = "6bc1bee22e409f96e93d7e117393172a ae2d8a571e03ac9c9eb76fac45af8e51"
                              "30c81c46a35ce411e5fbc1191a0a52ef f69f2445df4f9b17ad2b417be66c3710";
const char kSp80038aCipher[] = "7649abac8119b246cee98e9b12e9197d 5086cb9b507219ee95db113a917678b2"
                               "73bed6b8e3c1743b7116e69e22229516 3ff1caa1681fac09120eca307586e1a7";

struct Keys {
    AesCore encrypt;
    AesCore decrypt;
    explicit Keys(const std::vector<uint8_t>& key)
    {
        encrypt.expandKey(key.data(), uint32_t(key.size()), AesCore::Direction::Encrypt);
        decrypt.expandKey(key.data(), uint32_t(key.size()), AesCore::Direction::Decrypt);
    }
};

std::vector<uint8_t> run(const BlockTransform& transform, ChainingMode mode, CipherDirection direction,
                         const std::vector<uint8_t>& in, const std::vector<uint8_t>& iv, bool inPlace,
                         uint32_t& produced)
{
    std::vector<uint8_t> out(in.size(), 0xEE);
    if (inPlace) {
        out = in;
        produced = chainBlocks(transform, mode, direction, out.data(), out.data(), uint32_t(out.size()),
                               iv.data(), PartialBlock::Zeroed);
    } else {
        produced = chainBlocks(transform, mode, direction, in.data(), out.data(), uint32_t(in.size()), iv.data(),
                               PartialBlock::Zeroed);
    }
    return out;
}

} // namespace

TEST(BlockChaining, CbcKnownAnswerThroughBothChainingPaths)
{
    const std::vector<uint8_t> plain = fromHex(kSp80038aPlain);
    const std::vector<uint8_t> cipher = fromHex(kSp80038aCipher);
    const std::vector<uint8_t> iv = fromHex(kSp80038aIv);
    for (AesCore::Engine engine : availableAesEngines()) {
        ScopedAesEngine scope(engine);
        Keys keys(fromHex(kSp80038aKey));
        const AesOneBlockAtATime loopEncrypt(keys.encrypt), loopDecrypt(keys.decrypt);
        const AesBulk bulkEncrypt(keys.encrypt), bulkDecrypt(keys.decrypt);
        for (bool inPlace : {false, true}) {
            SCOPED_TRACE(std::string(aesEngineName(engine)) + (inPlace ? ", in place" : ", two buffers"));
            uint32_t produced = 0;
            EXPECT_EQ(toHex(run(loopEncrypt, ChainingMode::Cbc, CipherDirection::Encrypt, plain, iv, inPlace,
                                produced)),
                      toHex(cipher));
            EXPECT_EQ(toHex(run(bulkEncrypt, ChainingMode::Cbc, CipherDirection::Encrypt, plain, iv, inPlace,
                                produced)),
                      toHex(cipher));
            EXPECT_EQ(toHex(run(loopDecrypt, ChainingMode::Cbc, CipherDirection::Decrypt, cipher, iv, inPlace,
                                produced)),
                      toHex(plain));
            EXPECT_EQ(toHex(run(bulkDecrypt, ChainingMode::Cbc, CipherDirection::Decrypt, cipher, iv, inPlace,
                                produced)),
                      toHex(plain));
            EXPECT_EQ(produced, cipher.size());
        }
        EXPECT_EQ(toHex(iv), kSp80038aIv) << "the caller's IV is read, never updated";
    }
}

// Every length from 0 to 9 blocks plus a partial block: both paths agree in
// both modes and directions, only whole blocks are transformed and the
// output bytes of the partial block are zeros.
TEST(BlockChaining, BothPathsAgreeOverEveryLength)
{
    std::vector<uint8_t> data(9 * kAesBlockBytes + kAesBlockBytes - 1);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = uint8_t(i * 37 + 11);
    const std::vector<uint8_t> iv = fromHex("f0e1d2c3b4a5968778695a4b3c2d1e0f");
    for (AesCore::Engine engine : availableAesEngines()) {
        ScopedAesEngine scope(engine);
        Keys keys(fromHex("000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f"));
        for (ChainingMode mode : {ChainingMode::Ecb, ChainingMode::Cbc}) {
            for (size_t length = 0; length <= data.size(); ++length) {
                for (bool inPlace : {false, true}) {
                    SCOPED_TRACE(std::string(aesEngineName(engine)) + (mode == ChainingMode::Cbc ? " CBC" : " ECB") +
                                 " length " + std::to_string(length) + (inPlace ? " in place" : ""));
                    const std::vector<uint8_t> plain(data.begin(), data.begin() + long(length));
                    const uint32_t whole = uint32_t(length / kAesBlockBytes * kAesBlockBytes);
                    uint32_t loopCount = 0, bulkCount = 0;
                    const auto loop = run(AesOneBlockAtATime(keys.encrypt), mode, CipherDirection::Encrypt, plain,
                                          iv, inPlace, loopCount);
                    const auto bulk =
                        run(AesBulk(keys.encrypt), mode, CipherDirection::Encrypt, plain, iv, inPlace, bulkCount);
                    ASSERT_EQ(toHex(loop), toHex(bulk));
                    ASSERT_EQ(loopCount, whole);
                    ASSERT_EQ(bulkCount, whole);
                    for (size_t i = whole; i < length; ++i)
                        ASSERT_EQ(bulk[i], 0) << "partial block byte " << i;

                    const auto loopBack = run(AesOneBlockAtATime(keys.decrypt), mode, CipherDirection::Decrypt,
                                              bulk, iv, inPlace, loopCount);
                    const auto bulkBack =
                        run(AesBulk(keys.decrypt), mode, CipherDirection::Decrypt, bulk, iv, inPlace, bulkCount);
                    ASSERT_EQ(toHex(loopBack), toHex(bulkBack));
                    ASSERT_EQ(toHex(bulkBack).substr(0, 2 * whole), toHex(plain).substr(0, 2 * whole));
                }
            }
        }
    }
}

// Blowfish's rule for encryption: a partial block is completed with zero
// bytes and enciphered, so the output is rounded up to a block; decryption
// writes zeros for it.
TEST(BlockChaining, PartialBlockCompletedWithZeros)
{
    Keys keys(fromHex(kSp80038aKey));
    const AesBulk encrypt(keys.encrypt), decrypt(keys.decrypt);
    const std::vector<uint8_t> plain = fromHex("00112233445566778899aabbccddeeff 0102030405");
    std::vector<uint8_t> completed = plain;
    completed.resize(2 * kAesBlockBytes, 0);

    std::vector<uint8_t> out(2 * kAesBlockBytes, 0xEE), expected(2 * kAesBlockBytes);
    EXPECT_EQ(chainBlocks(encrypt, ChainingMode::Ecb, CipherDirection::Encrypt, plain.data(), out.data(),
                          uint32_t(plain.size()), nullptr, PartialBlock::CompletedWithZeros),
              2 * kAesBlockBytes);
    keys.encrypt.encryptBlocks(completed.data(), expected.data(), 2);
    EXPECT_EQ(toHex(out), toHex(expected));

    std::vector<uint8_t> back(plain.size(), 0xEE);
    EXPECT_EQ(chainBlocks(decrypt, ChainingMode::Ecb, CipherDirection::Decrypt, out.data(), back.data(),
                          uint32_t(plain.size()), nullptr, PartialBlock::CompletedWithZeros),
              kAesBlockBytes);
    EXPECT_EQ(toHex(back), "00112233445566778899aabbccddeeff0000000000");
}
