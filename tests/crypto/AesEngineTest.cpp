// The AES engines against each other: the AES-instruction and the
// vector-permute paths must give the bytes of the table path for every key
// length, mode and direction, for every block count around their group
// sizes (several blocks run at a time) and in place. The table path's own ECB and CBC are checked against single
// blocks chained by hand, and its single blocks against FIPS-197
// (AesCoreTest.cpp) and openssl (Rijndael2OpensslTest.cpp).

#include "crypto/AesCore.h"
#include "crypto/CpuFeatures.h"
#include "crypto/Rijndael2.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "AesEngineTestSupport.h"
#include "TestHex.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes randomBytes(std::mt19937& random, size_t length)
{
    Bytes out(length);
    for (uint8_t& b : out)
        b = uint8_t(random());
    return out;
}

enum class Mode { Ecb, Cbc };
enum class Placement { Separate, InPlace };

struct BulkResult {
    Bytes out;
    Bytes chain;
};

// One bulk call of AesCore with the engine given.
BulkResult runCore(AesCore::Engine engine, const Bytes& key, AesCore::Direction direction, Mode mode,
            Placement placement, const Bytes& in, const Bytes& iv)
{
    ScopedAesEngine scoped(engine);
    EXPECT_TRUE(scoped.selected());
    AesCore core;
    EXPECT_TRUE(core.expandKey(key.data(), uint32_t(key.size()), direction));
    BulkResult run{Bytes(in.size(), 0), iv};
    const uint8_t* source = in.data();
    if (placement == Placement::InPlace) {
        run.out = in;
        source = run.out.data();
    }
    const size_t blocks = in.size() / kAesBlockBytes;
    const bool encrypt = direction == AesCore::Direction::Encrypt;
    if (mode == Mode::Ecb && encrypt)
        core.encryptBlocks(source, run.out.data(), blocks);
    else if (mode == Mode::Ecb)
        core.decryptBlocks(source, run.out.data(), blocks);
    else if (encrypt)
        core.encryptCbc(source, run.out.data(), blocks, run.chain.data());
    else
        core.decryptCbc(source, run.out.data(), blocks, run.chain.data());
    return run;
}

// The same by single blocks of the table engine, chained by hand.
BulkResult runByHand(const Bytes& key, AesCore::Direction direction, Mode mode, const Bytes& in, const Bytes& iv)
{
    ScopedAesEngine scoped(AesCore::Engine::Tables);
    AesCore core;
    EXPECT_TRUE(core.expandKey(key.data(), uint32_t(key.size()), direction));
    BulkResult run{Bytes(in.size(), 0), iv};
    for (size_t offset = 0; offset < in.size(); offset += kAesBlockBytes) {
        uint8_t block[kAesBlockBytes];
        std::memcpy(block, &in[offset], kAesBlockBytes);
        if (direction == AesCore::Direction::Encrypt) {
            if (mode == Mode::Cbc)
                for (uint32_t i = 0; i < kAesBlockBytes; ++i)
                    block[i] ^= run.chain[i];
            core.encryptBlock(block, &run.out[offset]);
            if (mode == Mode::Cbc)
                std::memcpy(run.chain.data(), &run.out[offset], kAesBlockBytes);
        } else {
            core.decryptBlock(block, &run.out[offset]);
            if (mode == Mode::Cbc) {
                for (uint32_t i = 0; i < kAesBlockBytes; ++i)
                    run.out[offset + i] ^= run.chain[i];
                std::memcpy(run.chain.data(), block, kAesBlockBytes);
            }
        }
    }
    return run;
}

const char* modeName(Mode mode)
{
    return mode == Mode::Ecb ? "ECB" : "CBC";
}

} // namespace

// Every block count from 0 to 41 (the instruction path works in groups of 4
// or 8 blocks and finishes the rest one by one, the vector-permute path in
// groups of 4 and a shorter last group), all key lengths, both directions,
// ECB and CBC, separate and in-place buffers.
TEST(AesEngines, BulkOperationsAgreeForEveryBlockCount)
{
    std::mt19937 random(2024);
    const std::vector<AesCore::Engine> engines = availableAesEngines();
    if (engines.size() < 2)
        GTEST_SKIP() << "this processor has neither SSSE3 nor AES instructions: only the table engine can run here";
    for (uint32_t keyBytes : {kAes128KeyBytes, kAes192KeyBytes, kAes256KeyBytes}) {
        const Bytes key = randomBytes(random, keyBytes);
        for (size_t blocks = 0; blocks <= 41; ++blocks) {
            const Bytes in = randomBytes(random, blocks * kAesBlockBytes);
            const Bytes iv = randomBytes(random, kAesBlockBytes);
            for (auto direction : {AesCore::Direction::Encrypt, AesCore::Direction::Decrypt}) {
                for (Mode mode : {Mode::Ecb, Mode::Cbc}) {
                    const BulkResult expected = runByHand(key, direction, mode, in, iv);
                    for (AesCore::Engine engine : engines) {
                        for (Placement placement : {Placement::Separate, Placement::InPlace}) {
                            const BulkResult got = runCore(engine, key, direction, mode, placement, in, iv);
                            const char* where = placement == Placement::InPlace ? "in place" : "separate";
                            EXPECT_EQ(toHex(got.out), toHex(expected.out))
                                << aesEngineName(engine) << ", " << modeName(mode) << ", AES-" << keyBytes * 8
                                << (direction == AesCore::Direction::Encrypt ? " encrypt, " : " decrypt, ")
                                << blocks << " blocks, " << where;
                            if (mode == Mode::Cbc) {
                                EXPECT_EQ(toHex(got.chain), toHex(expected.chain))
                                    << aesEngineName(engine) << " chain, " << blocks << " blocks, " << where;
                            }
                        }
                    }
                }
            }
        }
    }
}

// Rijndael2's one-shot operations give the same bytes with every engine on
// random messages of every length from 0 to 1,100 bytes, and decryption
// returns the message. One object per key length serves all engines: the
// schedules it keeps between calls serve each of them.
TEST(AesEngines, Rijndael2AgreesForEveryLength)
{
    std::mt19937 random(77);
    const std::vector<AesCore::Engine> engines = availableAesEngines();
    if (engines.size() < 2)
        GTEST_SKIP() << "this processor has neither SSSE3 nor AES instructions: only the table engine can run here";
    for (int32_t keyBits : {128, 192, 256}) {
        const Bytes keyMaterial = randomBytes(random, 32);
        DataBuffer key;
        key.append(keyMaterial.data(), uint32_t(keyMaterial.size()));
        Rijndael2 cipher;
        cipher.setKeyLength(keyBits);
        cipher.setKey(key);
        for (uint32_t length = 0; length <= 1100; ++length) {
            const Bytes plain = randomBytes(random, length);
            DataBuffer in;
            in.append(plain.data(), length);
            std::vector<Bytes> ciphertexts(engines.size());
            for (size_t e = 0; e < engines.size(); ++e) {
                ScopedAesEngine scoped(engines[e]);
                const auto encrypted = cipher.encryptData(in);
                ciphertexts[e].assign(encrypted->getData(), encrypted->getData() + encrypted->getSize());
                DataBuffer back;
                cipher.decryptDataInto(*encrypted, back);
                ASSERT_EQ(toHex(Bytes(back.getData(), back.getData() + back.getSize())), toHex(plain))
                    << aesEngineName(engines[e]) << ", AES-" << keyBits << ", " << length << " bytes";
            }
            for (size_t e = 1; e < engines.size(); ++e)
                ASSERT_EQ(toHex(ciphertexts[e]), toHex(ciphertexts[0]))
                    << aesEngineName(engines[e]) << ", AES-" << keyBits << ", " << length << " bytes";
        }
    }
}

// Many random keys of each length: the engines' own forms of the schedule
// (the vector-permute engine maps every key byte into its basis) must give
// the table path's bytes for ECB and CBC, both directions, on a few blocks.
TEST(AesEngines, ManyKeysAgree)
{
    std::mt19937 random(4096);
    const std::vector<AesCore::Engine> engines = availableAesEngines();
    if (engines.size() < 2)
        GTEST_SKIP() << "this processor has neither SSSE3 nor AES instructions: only the table engine can run here";
    constexpr int kKeysPerLength = 200;
    constexpr size_t kBlocks = 5;
    for (uint32_t keyBytes : {kAes128KeyBytes, kAes192KeyBytes, kAes256KeyBytes}) {
        for (int n = 0; n < kKeysPerLength; ++n) {
            const Bytes key = randomBytes(random, keyBytes);
            const Bytes in = randomBytes(random, kBlocks * kAesBlockBytes);
            const Bytes iv = randomBytes(random, kAesBlockBytes);
            for (auto direction : {AesCore::Direction::Encrypt, AesCore::Direction::Decrypt}) {
                for (Mode mode : {Mode::Ecb, Mode::Cbc}) {
                    const BulkResult expected = runCore(AesCore::Engine::Tables, key, direction, mode,
                                                        Placement::Separate, in, iv);
                    for (size_t e = 1; e < engines.size(); ++e) {
                        const BulkResult got = runCore(engines[e], key, direction, mode, Placement::Separate, in, iv);
                        ASSERT_EQ(toHex(got.out), toHex(expected.out))
                            << aesEngineName(engines[e]) << ", " << modeName(mode) << ", key " << toHex(key)
                            << (direction == AesCore::Direction::Encrypt ? ", encrypt" : ", decrypt");
                    }
                }
            }
        }
    }
}

// The default engine is the fastest the processor has; a process-wide
// choice is refused only where the processor lacks the instructions, and
// the tables can always be chosen.
TEST(AesEngines, EngineChoice)
{
    const AesCore::Engine best = cpuHasAesInstructions() ? AesCore::Engine::CpuInstructions
                                 : cpuHasSsse3()         ? AesCore::Engine::VectorPermute
                                                         : AesCore::Engine::Tables;
    EXPECT_EQ(AesCore::engine(), best);
    ScopedAesEngine tables(AesCore::Engine::Tables);
    EXPECT_TRUE(tables.selected());
    EXPECT_EQ(AesCore::engine(), AesCore::Engine::Tables);
    {
        ScopedAesEngine vectorPermute(AesCore::Engine::VectorPermute);
        EXPECT_EQ(vectorPermute.selected(), cpuHasSsse3());
        EXPECT_EQ(AesCore::engine(), cpuHasSsse3() ? AesCore::Engine::VectorPermute : AesCore::Engine::Tables);
    }
    EXPECT_EQ(AesCore::engine(), AesCore::Engine::Tables);
    ScopedAesEngine instructions(AesCore::Engine::CpuInstructions);
    EXPECT_EQ(instructions.selected(), cpuHasAesInstructions());
    EXPECT_EQ(AesCore::engine(), instructions.selected() ? AesCore::Engine::CpuInstructions
                                                         : AesCore::Engine::Tables);
}
