// The bare Twofish cipher against the known-answer tests published with the
// algorithm: the single vectors with the zero and the counting keys, and the
// iterated table (49 encryptions per key size, each key made of the previous
// plaintext and key, each plaintext the previous ciphertext).

#include "crypto/TwofishCore.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "TestHex.h"

namespace {

std::vector<uint8_t> encryptBlock(const std::vector<uint8_t>& key, const std::vector<uint8_t>& plain)
{
    TwofishSchedule schedule;
    EXPECT_TRUE(twofishSetKey(schedule, key.data(), uint32_t(key.size() * 8)));
    std::vector<uint8_t> out(kTwofishBlockBytes);
    twofishEncryptBlock(schedule, plain.data(), out.data());
    return out;
}

std::vector<uint8_t> decryptBlock(const std::vector<uint8_t>& key, const std::vector<uint8_t>& cipher)
{
    TwofishSchedule schedule;
    EXPECT_TRUE(twofishSetKey(schedule, key.data(), uint32_t(key.size() * 8)));
    std::vector<uint8_t> out(kTwofishBlockBytes);
    twofishDecryptBlock(schedule, cipher.data(), out.data());
    return out;
}

struct SingleVector {
    const char* label;
    const char* key;
    const char* plain;
    const char* cipher;
};

// From the Twofish paper's test vectors: the all-zero 128-bit key, and the
// 192- and 256-bit "counting" keys, each on the zero block.
const SingleVector kSingleVectors[] = {
    {"128-bit zero key", "00000000000000000000000000000000", "00000000000000000000000000000000",
     "9F589F5CF6122C32B6BFEC2F2AE8C35A"},
    {"192-bit counting key", "0123456789ABCDEFFEDCBA98765432100011223344556677",
     "00000000000000000000000000000000", "CFD1D2E5A9BE9CDF501F13B892BD2248"},
    {"256-bit counting key", "0123456789ABCDEFFEDCBA987654321000112233445566778899AABBCCDDEEFF",
     "00000000000000000000000000000000", "37527BE0052334B89F0CFCCAE87CFA20"},
};

TEST(TwofishCore, SingleKnownAnswers)
{
    for (const SingleVector& v : kSingleVectors) {
        const std::vector<uint8_t> key = fromHex(v.key);
        EXPECT_EQ(toHex(encryptBlock(key, fromHex(v.plain))), toHex(fromHex(v.cipher))) << v.label;
        EXPECT_EQ(toHex(decryptBlock(key, fromHex(v.cipher))), toHex(fromHex(v.plain))) << v.label;
    }
}

struct IteratedCheckpoint {
    int iteration;
    const char* cipher;
};

struct IteratedTable {
    uint32_t keyBits;
    IteratedCheckpoint checkpoints[6];
    const char* lastKey; // the key of iteration 49
};

// From the Twofish paper's iterated known-answer table (ecb_tbl), KEYSIZE
// 128, 192 and 256: the ciphertexts of iterations 1 to 4 (3 for 128 bits),
// 48 and 49.
const IteratedTable kIteratedTables[] = {
    {128,
     {{1, "9F589F5CF6122C32B6BFEC2F2AE8C35A"},
      {2, "D491DB16E7B1C39E86CB086B789F5419"},
      {3, "019F9809DE1711858FAAC3A3BA20FBC3"},
      {48, "6B459286F3FFD28D49F15B1581B08E42"},
      {49, "5D9D4EEFFA9151575524F115815A12E0"},
      {0, nullptr}},
     "BCA724A54533C6987E14AA827952F921"},
    {192,
     {{1, "EFA71F788965BD4453F860178FC19101"},
      {2, "88B2B2706B105E36B446BB6D731A1E88"},
      {3, "39DA69D6BA4997D585B6DC073CA341B2"},
      {4, "182B02D81497EA45F9DAACDC29193A65"},
      {48, "F0AB73301125FA21EF70BE5385FB76B6"},
      {49, "E75449212BEEF9F4A390BD860A640941"}},
     "FB66522C332FCC4C042ABE32FA9E902FDEA4F3DA75EC7A8E"},
    {256,
     {{1, "57FF739D4DC92C1BD7FC01700CC8216F"},
      {2, "D43BB7556EA32E46F2A282B7D45B4E0D"},
      {3, "90AFE91BB288544F2C32DC239B2635E6"},
      {4, "6CB4561C40BF0A9705931CB6D408E7FA"},
      {48, "431058F4DBC7F734DA4F02F04CC4F459"},
      {49, "37FE26FF1CF66175F5DDF4C33B97A205"}},
     "248A7F3528B168ACFDD1386E3F51E30C2E2158BC3E5FC714C1EEECA0EA696D48"},
};

// Iteration i+1 uses key = (plaintext_i || key_i) cut to the key size and
// plaintext = ciphertext_i; iteration 1 has the zero key and zero block.
TEST(TwofishCore, IteratedKnownAnswers)
{
    for (const IteratedTable& table : kIteratedTables) {
        const size_t keyBytes = table.keyBits / 8;
        std::vector<uint8_t> key(keyBytes, 0);
        std::vector<uint8_t> plain(kTwofishBlockBytes, 0);
        size_t nextCheckpoint = 0;
        for (int iteration = 1; iteration <= 49; ++iteration) {
            if (iteration == 49) {
                EXPECT_EQ(toHex(key), toHex(fromHex(table.lastKey))) << table.keyBits << "-bit key of iteration 49";
            }
            const std::vector<uint8_t> cipher = encryptBlock(key, plain);
            ASSERT_EQ(toHex(decryptBlock(key, cipher)), toHex(plain))
                << table.keyBits << " bits, iteration " << iteration;

            const IteratedCheckpoint& checkpoint = table.checkpoints[nextCheckpoint];
            if (checkpoint.cipher != nullptr && checkpoint.iteration == iteration) {
                EXPECT_EQ(toHex(cipher), toHex(fromHex(checkpoint.cipher)))
                    << table.keyBits << " bits, iteration " << iteration;
                ++nextCheckpoint;
            }

            std::vector<uint8_t> nextKey(plain);
            nextKey.insert(nextKey.end(), key.begin(), key.end());
            nextKey.resize(keyBytes);
            key = nextKey;
            plain = cipher;
        }
        EXPECT_TRUE(nextCheckpoint == 6 || table.checkpoints[nextCheckpoint].cipher == nullptr)
            << table.keyBits << " bits: not every checkpoint was reached";
    }
}

TEST(TwofishCore, EncryptsInPlace)
{
    const std::vector<uint8_t> key = fromHex(kSingleVectors[2].key);
    TwofishSchedule schedule;
    ASSERT_TRUE(twofishSetKey(schedule, key.data(), 256));
    uint8_t block[kTwofishBlockBytes] = {};
    twofishEncryptBlock(schedule, block, block);
    EXPECT_EQ(toHex(block, sizeof block), toHex(fromHex(kSingleVectors[2].cipher)));
    twofishDecryptBlock(schedule, block, block);
    EXPECT_EQ(toHex(block, sizeof block), std::string(32, '0'));
}

TEST(TwofishCore, RefusesOtherKeyLengths)
{
    const uint8_t key[32] = {};
    TwofishSchedule schedule;
    for (uint32_t bits : {0u, 64u, 127u, 160u, 255u, 257u, 512u})
        EXPECT_FALSE(twofishSetKey(schedule, key, bits)) << bits;
    EXPECT_FALSE(twofishSetKey(schedule, nullptr, 128));
}

} // namespace
