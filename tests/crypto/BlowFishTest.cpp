// BlowFish as a member of the cipher family: published vectors through the
// class (with its byte order), key-length selection and use, ECB whatever the
// mode setters say, padding, the block-to-block and chained operations.

#include "crypto/BlowFish.h"

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

// Published Blowfish vectors list each 32-bit half most significant byte
// first; the class reads and writes each half least significant byte first.
std::vector<uint8_t> classByteOrder(const char* publishedHex)
{
    std::vector<uint8_t> bytes = fromHex(publishedHex);
    for (size_t i = 0; i + 4 <= bytes.size(); i += 4) {
        std::swap(bytes[i], bytes[i + 3]);
        std::swap(bytes[i + 1], bytes[i + 2]);
    }
    return bytes;
}

void useKey(BlowFish& cipher, const std::vector<uint8_t>& key, int32_t keyBits)
{
    DataBuffer material;
    setBytes(material, key);
    cipher.setKey(material);
    ASSERT_EQ(cipher.setKeyLength(keyBits), keyBits);
}

std::vector<uint8_t> encryptUnpadded(BlowFish& cipher, const std::vector<uint8_t>& plain)
{
    DataBuffer in;
    setBytes(in, plain);
    std::unique_ptr<DataBuffer> out = cipher.encryptFirst(in);
    return out ? bytesOf(*out) : std::vector<uint8_t>();
}

std::vector<uint8_t> decryptUnpadded(BlowFish& cipher, const std::vector<uint8_t>& ciphertext)
{
    DataBuffer in;
    setBytes(in, ciphertext);
    std::unique_ptr<DataBuffer> out = cipher.decryptFirst(in);
    return out ? bytesOf(*out) : std::vector<uint8_t>();
}

TEST(BlowFish, ZeroKeyZeroBlockGivesThePublishedResultWithEachHalfReversed)
{
    BlowFish cipher;
    useKey(cipher, std::vector<uint8_t>(8, 0), 64);
    // Published: 4EF997456198DD78.
    EXPECT_EQ(toHex(encryptUnpadded(cipher, std::vector<uint8_t>(8, 0))), "4597f94e78dd9861");
}

// From Eric Young's Blowfish test vectors ("ecb test data"): 8-byte keys.
struct BlockVector {
    const char* key;
    const char* clear;
    const char* cipher;
};

const BlockVector kEcbVectors[] = {
    {"0000000000000000", "0000000000000000", "4EF997456198DD78"},
    {"FFFFFFFFFFFFFFFF", "FFFFFFFFFFFFFFFF", "51866FD5B85ECB8A"},
    {"3000000000000000", "1000000000000001", "7D856F9A613063F2"},
    {"1111111111111111", "1111111111111111", "2466DD878B963C9D"},
    {"0123456789ABCDEF", "1111111111111111", "61F9C3802281B096"},
    {"1111111111111111", "0123456789ABCDEF", "7D0CC630AFDA1EC7"},
    {"FEDCBA9876543210", "0123456789ABCDEF", "0ACEAB0FC6A0A28D"},
    {"7CA110454A1A6E57", "01A1D6D039776742", "59C68245EB05282B"},
    {"0131D9619DC1376E", "5CD54CA83DEF57DA", "B1B8CC0B250F09A0"},
    {"07A1133E4A0B2686", "0248D43806F67172", "1730E5778BEA1DA4"},
    {"3849674C2602319E", "51454B582DDF440A", "A25E7856CF2651EB"},
    {"04B915BA43FEB5B6", "42FD443059577FA2", "353882B109CE8F1A"},
    {"0113B970FD34F2CE", "059B5E0851CF143A", "48F4D0884C379918"},
    {"0170F175468FB5E6", "0756D8E0774761D2", "432193B78951FC98"},
    {"43297FAD38E373FE", "762514B829BF486A", "13F04154D69D1AE5"},
    {"07A7137045DA2A16", "3BDD119049372802", "2EEDDA93FFD39C79"},
    {"04689104C2FD3B2F", "26955F6835AF609A", "D887E0393C2DA6E3"},
    {"37D06BB516CB7546", "164D5E404F275232", "5F99D04F5B163969"},
    {"1F08260D1AC2465E", "6B056E18759F5CCA", "4A057A3B24D3977B"},
    {"584023641ABA6176", "004BD6EF09176062", "452031C1E4FADA8E"},
    {"025816164629B007", "480D39006EE762F2", "7555AE39F59B87BD"},
    {"49793EBC79B3258F", "437540C8698F3CFA", "53C55F9CB49FC019"},
    {"4FB05E1515AB73A7", "072D43A077075292", "7A8E7BFA937E89A3"},
    {"49E95D6D4CA229BF", "02FE55778117F12A", "CF9C5D7A4986ADB5"},
    {"018310DC409B26D6", "1D9D5C5018F728C2", "D1ABB290658BC778"},
    {"1C587F1C13924FEF", "305532286D6F295A", "55CB3774D13EF201"},
    {"0101010101010101", "0123456789ABCDEF", "FA34EC4847B268B2"},
    {"1F1F1F1F0E0E0E0E", "0123456789ABCDEF", "A790795108EA3CAE"},
    {"E0FEE0FEF1FEF1FE", "0123456789ABCDEF", "C39E072D9FAC631D"},
    {"0000000000000000", "FFFFFFFFFFFFFFFF", "014933E0CDAFF6E4"},
    {"FFFFFFFFFFFFFFFF", "0000000000000000", "F21E9A77B71C49BC"},
    {"0123456789ABCDEF", "0000000000000000", "245946885754369A"},
    {"FEDCBA9876543210", "FFFFFFFFFFFFFFFF", "6B5C5A9C5D9E0A5A"},
};

TEST(BlowFish, EcbVectorsThroughTheClass)
{
    for (const BlockVector& v : kEcbVectors) {
        BlowFish cipher;
        useKey(cipher, fromHex(v.key), 64);
        EXPECT_EQ(toHex(encryptUnpadded(cipher, classByteOrder(v.clear))), toHex(classByteOrder(v.cipher)))
            << "key " << v.key;
        EXPECT_EQ(toHex(decryptUnpadded(cipher, classByteOrder(v.cipher))), toHex(classByteOrder(v.clear)))
            << "key " << v.key;
    }
}

// From Eric Young's Blowfish test vectors ("set_key test data"): the block
// FEDCBA9876543210 under the first n bytes of one key; here n = 5 to 24, the
// lengths the class accepts, selected with setKeyLength over 24 bytes of
// key material.
TEST(BlowFish, KeyLengthSelectsHowManyKeyBytesAreUsed)
{
    const char* const ciphers[] = {
        "B39E44481BDB1E6E", "9457AA83B1928C0D", "8BB77032F960629D", "E87A244E2CC85E82",
        "15750E7A4F4EC577", "122BA70B3AB64AE0", "3A833C9AFFC537F6", "9409DA87A90F6BF2",
        "884F80625060B8B4", "1F85031C19E11968", "79D9373A714CA34F", "93142887EE3BE15C",
        "03429E838CE2D14B", "A4299E27469FF67B", "AFD5AED1C1BC96A8", "10851C0E3858DA9F",
        "E6F51ED79B9DB21F", "64A6E14AFD36B46F", "80C7D7D45A5479AD", "05044B62FA52D080",
    };
    const std::vector<uint8_t> key = fromHex("F0E1D2C3B4A5968778695A4B3C2D1E0F0011223344556677");
    for (int32_t keyBytes = 5; keyBytes <= 24; ++keyBytes) {
        BlowFish cipher;
        useKey(cipher, key, keyBytes * 8);
        EXPECT_EQ(toHex(encryptUnpadded(cipher, classByteOrder("FEDCBA9876543210"))),
                  toHex(classByteOrder(ciphers[keyBytes - 5])))
            << keyBytes << "-byte key";
    }
}

TEST(BlowFish, SetKeyLengthClampsAndRoundsDown)
{
    const struct {
        int32_t requested;
        int32_t selected;
    } cases[] = {
        {30, 40}, {1000, 448}, {100, 96}, {0, 40},    {-64, 40},  {40, 40},
        {47, 40}, {48, 48},    {128, 128}, {447, 440}, {448, 448}, {449, 448},
    };
    for (const auto& c : cases) {
        BlowFish cipher;
        EXPECT_EQ(cipher.setKeyLength(c.requested), c.selected) << c.requested;
        EXPECT_EQ(cipher.keyLengthBits(), c.selected) << c.requested;
    }
}

// The selected length is the one used: 30 bits uses the first 5 key bytes,
// 100 bits the first 12 (same results as the 5- and 12-byte published keys).
TEST(BlowFish, RoundedKeyLengthIsTheOneUsed)
{
    const std::vector<uint8_t> key = fromHex("F0E1D2C3B4A5968778695A4B3C2D1E0F0011223344556677");
    const struct {
        int32_t requested;
        const char* cipher;
    } cases[] = {{30, "B39E44481BDB1E6E"}, {100, "9409DA87A90F6BF2"}};
    for (const auto& c : cases) {
        BlowFish cipher;
        DataBuffer material;
        setBytes(material, key);
        cipher.setKey(material);
        cipher.setKeyLength(c.requested);
        EXPECT_EQ(toHex(encryptUnpadded(cipher, classByteOrder("FEDCBA9876543210"))),
                  toHex(classByteOrder(c.cipher)))
            << c.requested;
    }
}

// Key material shorter than the key (32 bytes from a password, 448-bit key)
// is extended with zeros: the same as giving the zeros explicitly.
TEST(BlowFish, ShortKeyMaterialIsExtendedWithZeros)
{
    std::vector<uint8_t> material(32);
    for (size_t i = 0; i < material.size(); ++i)
        material[i] = uint8_t(7 * i + 1);
    std::vector<uint8_t> padded = material;
    padded.resize(56, 0);

    BlowFish shortKey;
    useKey(shortKey, material, 448);
    BlowFish fullKey;
    useKey(fullKey, padded, 448);
    const std::vector<uint8_t> plain = fromHex("0011223344556677");
    EXPECT_EQ(toHex(encryptUnpadded(shortKey, plain)), toHex(encryptUnpadded(fullKey, plain)));

    // A 64-byte key area: material beyond 448 bits is not used.
    std::vector<uint8_t> longer = padded;
    longer.resize(64, 0xEE);
    BlowFish longKey;
    useKey(longKey, longer, 448);
    EXPECT_EQ(toHex(encryptUnpadded(longKey, plain)), toHex(encryptUnpadded(fullKey, plain)));
}

TEST(BlowFish, AlwaysEcbWhateverTheModeSetters)
{
    BlowFish cipher;
    EXPECT_TRUE(cipher.setCbcMode());
    EXPECT_TRUE(cipher.setEcbMode());
    EXPECT_TRUE(cipher.setReservedModeA());
    EXPECT_TRUE(cipher.setReservedModeB());
    EXPECT_TRUE(cipher.setCbcMode());
    cipher.setPassword("secret");

    const std::vector<uint8_t> twoEqualBlocks = fromHex("4142434445464748 4142434445464748");
    DataBuffer in;
    setBytes(in, twoEqualBlocks);
    std::unique_ptr<DataBuffer> out = cipher.encryptData(in);
    ASSERT_TRUE(out);
    ASSERT_EQ(out->getSize(), 32u);
    EXPECT_EQ(0, std::memcmp(out->getData(), out->getData() + 8, 8));
    EXPECT_NE(0, std::memcmp(out->getData(), twoEqualBlocks.data(), 8));
}

TEST(BlowFish, PaddedLengthsAndRoundTrips)
{
    const struct {
        uint32_t plainBytes;
        uint32_t cipherBytes;
    } cases[] = {{0, 0}, {1, 16}, {4, 16}, {5, 16}, {8, 16}, {15, 16}, {16, 32}, {17, 32}, {100, 112}};
    for (const auto& c : cases) {
        BlowFish cipher;
        cipher.setPassword("padding");
        std::vector<uint8_t> plain(c.plainBytes);
        for (uint32_t i = 0; i < c.plainBytes; ++i)
            plain[i] = uint8_t(i * 13 + 5);
        DataBuffer in;
        setBytes(in, plain);
        std::unique_ptr<DataBuffer> encrypted = cipher.encryptData(in);
        ASSERT_TRUE(encrypted);
        EXPECT_EQ(encrypted->getSize(), c.cipherBytes) << c.plainBytes;
        EXPECT_EQ(in.getSize(), c.plainBytes) << "input left unchanged";
        std::unique_ptr<DataBuffer> decrypted = cipher.decryptData(*encrypted);
        ASSERT_TRUE(decrypted);
        EXPECT_EQ(toHex(bytesOf(*decrypted)), toHex(plain)) << c.plainBytes;
    }
}

TEST(BlowFish, WrongKeyDecryptsToOtherBytes)
{
    BlowFish writer;
    writer.setPassword("right");
    DataBuffer in;
    setBytes(in, std::vector<uint8_t>(40, 0x5A));
    std::unique_ptr<DataBuffer> encrypted = writer.encryptData(in);
    ASSERT_TRUE(encrypted);
    BlowFish reader;
    reader.setPassword("wrong");
    std::unique_ptr<DataBuffer> decrypted = reader.decryptData(*encrypted);
    ASSERT_TRUE(decrypted);
    EXPECT_NE(toHex(bytesOf(*decrypted)), toHex(bytesOf(in)));
}

// A trailing partial block is completed with zero bytes before encryption.
TEST(BlowFish, PartialBlockIsCompletedWithZeros)
{
    BlowFish cipher;
    cipher.setPassword("tail");
    const std::vector<uint8_t> partial = fromHex("0102030405060708 090A0B");
    std::vector<uint8_t> completed = partial;
    completed.resize(16, 0);
    const std::vector<uint8_t> fromPartial = encryptUnpadded(cipher, partial);
    EXPECT_EQ(fromPartial.size(), 16u);
    EXPECT_EQ(toHex(fromPartial), toHex(encryptUnpadded(cipher, completed)));
    EXPECT_EQ(toHex(decryptUnpadded(cipher, fromPartial)), toHex(completed));
}

// Pieces through First / Next / Last give the one-shot result (ECB needs no
// chain), and decrypt back piece by piece.
TEST(BlowFish, ChainedPiecesEqualOneShot)
{
    std::vector<uint8_t> plain(2 * 800 + 37);
    for (size_t i = 0; i < plain.size(); ++i)
        plain[i] = uint8_t(i ^ (i >> 8));

    BlowFish oneShot;
    oneShot.setKeyLength(256);
    oneShot.setPassword("pieces");
    DataBuffer whole;
    setBytes(whole, plain);
    std::unique_ptr<DataBuffer> expected = oneShot.encryptData(whole);
    ASSERT_TRUE(expected);

    BlowFish chained;
    chained.setKeyLength(256);
    chained.setPassword("pieces");
    DataBuffer piece1;
    setBytes(piece1, std::vector<uint8_t>(plain.begin(), plain.begin() + 800));
    DataBuffer piece2;
    setBytes(piece2, std::vector<uint8_t>(plain.begin() + 800, plain.begin() + 1600));
    DataBuffer piece3;
    setBytes(piece3, std::vector<uint8_t>(plain.begin() + 1600, plain.end()));
    std::vector<std::unique_ptr<DataBuffer>> encryptedParts;
    encryptedParts.push_back(chained.encryptFirst(piece1));
    encryptedParts.push_back(chained.encryptNext(piece2));
    encryptedParts.push_back(chained.encryptLast(piece3));
    std::vector<uint8_t> joined;
    for (const std::unique_ptr<DataBuffer>& part : encryptedParts) {
        ASSERT_TRUE(part);
        const std::vector<uint8_t> bytes = bytesOf(*part);
        joined.insert(joined.end(), bytes.begin(), bytes.end());
    }
    EXPECT_EQ(toHex(joined), toHex(bytesOf(*expected)));

    DataBuffer c1;

    setBytes(c1, std::vector<uint8_t>(joined.begin(), joined.begin() + 800));
    DataBuffer c2;
    setBytes(c2, std::vector<uint8_t>(joined.begin() + 800, joined.begin() + 1600));
    DataBuffer c3;
    setBytes(c3, std::vector<uint8_t>(joined.begin() + 1600, joined.end()));
    std::vector<std::unique_ptr<DataBuffer>> decryptedParts;
    decryptedParts.push_back(chained.decryptFirst(c1));
    decryptedParts.push_back(chained.decryptNext(c2));
    decryptedParts.push_back(chained.decryptLast(c3));
    std::vector<uint8_t> decrypted;
    for (const std::unique_ptr<DataBuffer>& part : decryptedParts) {
        ASSERT_TRUE(part);
        const std::vector<uint8_t> bytes = bytesOf(*part);
        decrypted.insert(decrypted.end(), bytes.begin(), bytes.end());
    }
    EXPECT_EQ(toHex(decrypted), toHex(plain));
}

TEST(BlowFish, EncryptLastOfAnEmptyPieceIsOnePaddingBlock)
{
    BlowFish cipher;
    DataBuffer empty;
    std::unique_ptr<DataBuffer> first = cipher.encryptFirst(empty);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->getSize(), 0u);
    std::unique_ptr<DataBuffer> last = cipher.encryptLast(empty);
    ASSERT_TRUE(last);
    ASSERT_EQ(last->getSize(), 16u);
    std::unique_ptr<DataBuffer> back = cipher.decryptLast(*last);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->getSize(), 0u);
}

TEST(BlowFish, BlockOperationsKeepLengthAndCapacity)
{
    BlowFish cipher;
    cipher.setPassword("blocks");
    BlockBuffer in;
    ASSERT_TRUE(in.reserve(5));
    std::memcpy(in.data(), "hello", 5);
    in.setLength(5);

    BlockBuffer encrypted;
    ASSERT_TRUE(cipher.encryptBlocks(in, encrypted));
    EXPECT_EQ(encrypted.capacity(), 16u);
    EXPECT_EQ(encrypted.length(), 5u);

    BlockBuffer decrypted;
    ASSERT_TRUE(cipher.decryptBlocks(encrypted, decrypted));
    EXPECT_EQ(decrypted.length(), 5u);
    EXPECT_EQ(toHex(decrypted.data(), 16), toHex(in.data(), 16));

    // Into: the caller's storage; too small is refused.
    BlockBuffer into;
    ASSERT_TRUE(into.reserve(16));
    ASSERT_TRUE(cipher.encryptBlocksInto(in, into));
    EXPECT_EQ(toHex(into.data(), 16), toHex(encrypted.data(), 16));
    BlockBuffer tooSmall;
    EXPECT_FALSE(cipher.decryptBlocksInto(encrypted, tooSmall));
    EXPECT_EQ(tooSmall.length(), 0u);

    // In place.
    ASSERT_TRUE(cipher.decryptBlocks(encrypted, encrypted));
    EXPECT_EQ(toHex(encrypted.data(), 5), toHex(in.data(), 5));

    // Empty input: the reserving forms clear out, the Into forms leave it.
    BlockBuffer empty;
    EXPECT_TRUE(cipher.encryptBlocksInto(empty, into));
    EXPECT_EQ(into.length(), 5u);
    EXPECT_TRUE(cipher.encryptBlocks(empty, into));
    EXPECT_EQ(into.capacity(), 0u);
}

TEST(BlowFish, DescribeAndApplyDescription)
{
    BlowFish cipher;
    cipher.setKeyLength(200);
    CipherDescription record;
    std::memset(&record, 0x77, sizeof record);
    cipher.describe(record);
    EXPECT_EQ(record.callerWord, 0x77777777u);
    EXPECT_STREQ(record.providerName, "brivane");
    EXPECT_EQ(record.algorithmId, kCipherAlgorithmBlowfish);
    EXPECT_EQ(record.mode, 0);
    EXPECT_EQ(record.flagOne, 1);
    EXPECT_EQ(record.flagZero, 0);
    EXPECT_EQ(record.reservedA, 0u);
    EXPECT_EQ(record.keyLengthBits, 200);
    EXPECT_EQ(record.reservedB, 0u);

    BlowFish other;
    record.keyLengthBits = 100;
    record.mode = kCipherDescriptionModeEcb;
    other.applyDescription(record);
    EXPECT_EQ(other.keyLengthBits(), 96);
}

} // namespace
