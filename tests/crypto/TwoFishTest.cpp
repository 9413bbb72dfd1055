// TwoFish as a member of the cipher family: the published known answers
// through the class in ECB mode, key-length selection and zero extension, CBC
// from the fixed class IV (deterministic, and equal to chaining the bare
// cipher by hand), padding and the block-to-block operations.

#include "crypto/TwoFish.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "TestHex.h"

namespace {

void setBytes(DataBuffer& buffer, const std::vector<uint8_t>& bytes)
{
    buffer.clear();
    buffer.append(bytes.data(), uint32_t(bytes.size()));
}

std::vector<uint8_t> bytesOf(const DataBuffer& buffer)
{
    return std::vector<uint8_t>(buffer.getData(), buffer.getData() + buffer.getSize());
}

// Encrypts whole blocks with no padding through the block-to-block slot.
std::vector<uint8_t> encryptBlocks(TwoFish& cipher, const std::vector<uint8_t>& plain)
{
    BlockBuffer in;
    EXPECT_TRUE(in.reserve(uint32_t(plain.size())));
    std::memcpy(in.data(), plain.data(), plain.size());
    in.setLength(uint32_t(plain.size()));
    BlockBuffer out;
    EXPECT_TRUE(cipher.encryptBlocks(in, out));
    return std::vector<uint8_t>(out.data(), out.data() + out.length());
}

std::vector<uint8_t> decryptBlocks(TwoFish& cipher, const std::vector<uint8_t>& ciphertext)
{
    BlockBuffer in;
    EXPECT_TRUE(in.reserve(uint32_t(ciphertext.size())));
    std::memcpy(in.data(), ciphertext.data(), ciphertext.size());
    in.setLength(uint32_t(ciphertext.size()));
    BlockBuffer out;
    EXPECT_TRUE(cipher.decryptBlocks(in, out));
    return std::vector<uint8_t>(out.data(), out.data() + out.length());
}

void useKey(TwoFish& cipher, const std::vector<uint8_t>& key, int32_t keyBits)
{
    DataBuffer material;
    setBytes(material, key);
    cipher.setKey(material);
    ASSERT_EQ(cipher.setKeyLength(keyBits), keyBits);
}

struct KnownAnswer {
    const char* label;
    int32_t keyBits;
    const char* key;
    const char* plain;
    const char* cipher;
};

// From the Twofish paper's known-answer tests (ECB): the zero key on the zero
// block, the counting keys, and the last step of each iterated table.
const KnownAnswer kKnownAnswers[] = {
    {"128-bit zero key", 128, "00000000000000000000000000000000", "00000000000000000000000000000000",
     "9F589F5CF6122C32B6BFEC2F2AE8C35A"},
    {"192-bit zero key", 192, "000000000000000000000000000000000000000000000000",
     "00000000000000000000000000000000", "EFA71F788965BD4453F860178FC19101"},
    {"256-bit zero key", 256, "0000000000000000000000000000000000000000000000000000000000000000",
     "00000000000000000000000000000000", "57FF739D4DC92C1BD7FC01700CC8216F"},
    {"192-bit counting key", 192, "0123456789ABCDEFFEDCBA98765432100011223344556677",
     "00000000000000000000000000000000", "CFD1D2E5A9BE9CDF501F13B892BD2248"},
    {"256-bit counting key", 256, "0123456789ABCDEFFEDCBA987654321000112233445566778899AABBCCDDEEFF",
     "00000000000000000000000000000000", "37527BE0052334B89F0CFCCAE87CFA20"},
    {"128-bit iteration 49", 128, "BCA724A54533C6987E14AA827952F921", "6B459286F3FFD28D49F15B1581B08E42",
     "5D9D4EEFFA9151575524F115815A12E0"},
    {"192-bit iteration 49", 192, "FB66522C332FCC4C042ABE32FA9E902FDEA4F3DA75EC7A8E",
     "F0AB73301125FA21EF70BE5385FB76B6", "E75449212BEEF9F4A390BD860A640941"},
    {"256-bit iteration 49", 256, "248A7F3528B168ACFDD1386E3F51E30C2E2158BC3E5FC714C1EEECA0EA696D48",
     "431058F4DBC7F734DA4F02F04CC4F459", "37FE26FF1CF66175F5DDF4C33B97A205"},
};

TEST(TwoFish, KnownAnswersInEcbMode)
{
    for (const KnownAnswer& v : kKnownAnswers) {
        TwoFish cipher;
        EXPECT_TRUE(cipher.setEcbMode());
        useKey(cipher, fromHex(v.key), v.keyBits);
        EXPECT_EQ(toHex(encryptBlocks(cipher, fromHex(v.plain))), toHex(fromHex(v.cipher))) << v.label;
        EXPECT_EQ(toHex(decryptBlocks(cipher, fromHex(v.cipher))), toHex(fromHex(v.plain))) << v.label;
    }
}

TEST(TwoFish, SetKeyLengthThresholds)
{
    const struct {
        int32_t requested;
        int32_t selected;
    } cases[] = {{-1, 128}, {0, 128}, {128, 128}, {129, 192}, {192, 192}, {193, 256}, {256, 256}, {4096, 256}};
    for (const auto& c : cases) {
        TwoFish cipher;
        EXPECT_EQ(cipher.setKeyLength(c.requested), c.selected) << c.requested;
        EXPECT_EQ(cipher.keyLengthBits(), c.selected) << c.requested;
    }
    EXPECT_EQ(TwoFish().keyLengthBits(), 256);
}

// Key material shorter than the key is extended with zeros; longer is cut.
TEST(TwoFish, KeyMaterialIsZeroExtendedOrCut)
{
    const std::vector<uint8_t> plain(16, 0);
    // The 256-bit zero key, given as 10 bytes of zeros.
    TwoFish shortMaterial;
    shortMaterial.setEcbMode();
    useKey(shortMaterial, std::vector<uint8_t>(10, 0), 256);
    EXPECT_EQ(toHex(encryptBlocks(shortMaterial, plain)), toHex(fromHex(kKnownAnswers[2].cipher)));

    // The 192-bit counting key followed by extra bytes that must be ignored.
    std::vector<uint8_t> longer = fromHex(kKnownAnswers[3].key);
    longer.resize(40, 0xEE);
    TwoFish longMaterial;
    longMaterial.setEcbMode();
    useKey(longMaterial, longer, 192);
    EXPECT_EQ(toHex(encryptBlocks(longMaterial, plain)), toHex(fromHex(kKnownAnswers[3].cipher)));
}

// CBC starts from the class IV on every call: two calls agree, and the result
// is the bare cipher chained by hand from kClassIv.
TEST(TwoFish, CbcStartsFromTheClassIvOnEveryCall)
{
    const std::vector<uint8_t> key = fromHex(kKnownAnswers[4].key);
    TwoFish cipher;
    EXPECT_EQ(cipher.mode(), ChainingMode::Cbc);
    useKey(cipher, key, 256);

    std::vector<uint8_t> plain(32, 0x42); // two equal blocks
    DataBuffer in;
    setBytes(in, plain);
    std::unique_ptr<DataBuffer> first = cipher.encryptData(in);
    std::unique_ptr<DataBuffer> second = cipher.encryptData(in);
    ASSERT_TRUE(first && second);
    ASSERT_EQ(first->getSize(), 48u);
    EXPECT_EQ(toHex(bytesOf(*first)), toHex(bytesOf(*second)));

    TwofishSchedule schedule;
    ASSERT_TRUE(twofishSetKey(schedule, key.data(), 256));
    std::vector<uint8_t> padded = plain;
    padded.resize(48, 16);
    std::vector<uint8_t> expected(48);
    const uint8_t* chain = TwoFish::kClassIv;
    for (size_t block = 0; block < 3; ++block) {
        uint8_t mixed[16];
        for (size_t i = 0; i < 16; ++i)
            mixed[i] = padded[16 * block + i] ^ chain[i];
        twofishEncryptBlock(schedule, mixed, expected.data() + 16 * block);
        chain = expected.data() + 16 * block;
    }
    EXPECT_EQ(toHex(bytesOf(*first)), toHex(expected));
    EXPECT_NE(toHex(first->getData(), 16), toHex(first->getData() + 16, 16)) << "CBC hides equal blocks";

    std::unique_ptr<DataBuffer> back = cipher.decryptData(*first);
    ASSERT_TRUE(back);
    EXPECT_EQ(toHex(bytesOf(*back)), toHex(plain));
}

TEST(TwoFish, EcbShowsEqualBlocks)
{
    TwoFish cipher;
    cipher.setEcbMode();
    cipher.setPassword("ecb");
    DataBuffer in;
    setBytes(in, std::vector<uint8_t>(32, 0x42));
    std::unique_ptr<DataBuffer> out = cipher.encryptData(in);
    ASSERT_TRUE(out);
    EXPECT_EQ(toHex(out->getData(), 16), toHex(out->getData() + 16, 16));
}

TEST(TwoFish, PaddedLengthsAndRoundTripsForEachKeyLengthAndMode)
{
    const uint32_t lengths[] = {0, 1, 4, 15, 16, 17, 100};
    for (int32_t keyBits : {128, 192, 256}) {
        for (bool cbc : {false, true}) {
            for (uint32_t length : lengths) {
                TwoFish cipher;
                cipher.setKeyLength(keyBits);
                if (cbc)
                    cipher.setCbcMode();
                else
                    cipher.setEcbMode();
                cipher.setPassword("twofish");
                std::vector<uint8_t> plain(length);
                for (uint32_t i = 0; i < length; ++i)
                    plain[i] = uint8_t(31 * i + keyBits);
                DataBuffer in;
                setBytes(in, plain);
                std::unique_ptr<DataBuffer> encrypted = cipher.encryptData(in);
                ASSERT_TRUE(encrypted);
                const uint32_t expectedBytes = length == 0 ? 0 : (length / 16 + 1) * 16;
                EXPECT_EQ(encrypted->getSize(), expectedBytes) << keyBits << (cbc ? " CBC " : " ECB ") << length;
                std::unique_ptr<DataBuffer> decrypted = cipher.decryptData(*encrypted);
                ASSERT_TRUE(decrypted);
                EXPECT_EQ(toHex(bytesOf(*decrypted)), toHex(plain)) << keyBits << (cbc ? " CBC " : " ECB ") << length;
            }
        }
    }
}

TEST(TwoFish, ModeSettersAndReservedModes)
{
    TwoFish cipher;
    EXPECT_TRUE(cipher.setEcbMode());
    EXPECT_EQ(cipher.mode(), ChainingMode::Ecb);
    EXPECT_TRUE(cipher.setCbcMode());
    EXPECT_EQ(cipher.mode(), ChainingMode::Cbc);
    EXPECT_FALSE(cipher.setReservedModeA());
    EXPECT_FALSE(cipher.setReservedModeB());
    EXPECT_EQ(cipher.mode(), ChainingMode::Cbc);
}

TEST(TwoFish, BlockOperationsKeepLengthAndCapacity)
{
    TwoFish cipher;
    cipher.setPassword("blocks");
    BlockBuffer in;
    ASSERT_TRUE(in.reserve(5));
    std::memcpy(in.data(), "hello", 5);
    in.setLength(5);
    BlockBuffer out;
    ASSERT_TRUE(cipher.encryptBlocks(in, out));
    EXPECT_EQ(out.capacity(), 16u);
    EXPECT_EQ(out.length(), 5u);
    BlockBuffer back;
    ASSERT_TRUE(cipher.decryptBlocks(out, back));
    EXPECT_EQ(toHex(back.data(), 16), toHex(in.data(), 16));

    BlockBuffer tooSmall;
    EXPECT_FALSE(cipher.encryptBlocksInto(in, tooSmall));
    EXPECT_EQ(tooSmall.length(), 0u);
    BlockBuffer empty;
    EXPECT_TRUE(cipher.decryptBlocks(empty, back));
    EXPECT_EQ(back.capacity(), 0u);
}

TEST(TwoFish, DescribeAndApplyDescription)
{
    TwoFish cipher;
    cipher.setKeyLength(192);
    CipherDescription record;
    std::memset(&record, 0x55, sizeof record);
    cipher.describe(record);
    EXPECT_EQ(record.callerWord, 0x55555555u);
    EXPECT_STREQ(record.providerName, "brivane");
    EXPECT_EQ(record.algorithmId, kCipherAlgorithmTwofish);
    EXPECT_EQ(record.mode, 0);
    EXPECT_EQ(record.flagOne, 1);
    EXPECT_EQ(record.flagZero, 0);
    EXPECT_EQ(record.reservedA, 0u);
    EXPECT_EQ(record.keyLengthBits, 192);
    EXPECT_EQ(record.reservedB, 0u);

    TwoFish other;
    record.mode = kCipherDescriptionModeEcb;
    other.applyDescription(record);
    EXPECT_EQ(other.keyLengthBits(), 192);
    EXPECT_EQ(other.mode(), ChainingMode::Ecb);
    record.mode = 0; // describe's own value means CBC
    other.applyDescription(record);
    EXPECT_EQ(other.mode(), ChainingMode::Cbc);
}

} // namespace
