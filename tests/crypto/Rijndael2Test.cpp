// Rijndael2 and the SymmetricAlgorithm2 framework: padding, key length and key
// material rules, the buffer contracts of the block-to-block operations, the
// chained operations against the one-shot ones, and the settings record.
// The CBC output itself is compared with OpenSSL in Rijndael2OpensslTest.cpp;
// the block transform with FIPS-197 in AesCoreTest.cpp.

#include "crypto/Rijndael2.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "TestHex.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Deterministic test bytes that differ from block to block.
Bytes pattern(uint32_t length, uint32_t seed = 1)
{
    Bytes out(length);
    uint32_t x = seed * 2654435761u + 12345u;
    for (uint32_t i = 0; i < length; ++i) {
        x = x * 1103515245u + 12345u;
        out[i] = uint8_t(x >> 16);
    }
    return out;
}

void fill(DataBuffer& buffer, const Bytes& bytes)
{
    buffer.clear();
    buffer.append(bytes.data(), uint32_t(bytes.size()));
}

Bytes bytesOf(const DataBuffer& buffer)
{
    return Bytes(buffer.getData(), buffer.getData() + buffer.getSize());
}

Bytes bytesOf(const std::unique_ptr<DataBuffer>& buffer)
{
    return buffer ? bytesOf(*buffer) : Bytes();
}

Bytes slice(const Bytes& bytes, size_t from, size_t count)
{
    return Bytes(bytes.begin() + from, bytes.begin() + from + count);
}

void setKeyBytes(Rijndael2& cipher, const Bytes& key)
{
    DataBuffer buffer;
    fill(buffer, key);
    cipher.setKey(buffer);
}

Bytes encrypt(Rijndael2& cipher, const Bytes& plain)
{
    DataBuffer in;
    fill(in, plain);
    return bytesOf(cipher.encryptData(in));
}

Bytes decrypt(Rijndael2& cipher, const Bytes& ciphertext)
{
    DataBuffer in;
    fill(in, ciphertext);
    return bytesOf(cipher.decryptData(in));
}

// Enciphers whole blocks without padding (the block-to-block operation).
Bytes encryptRaw(Rijndael2& cipher, const Bytes& plain)
{
    BlockBuffer in;
    BlockBuffer out;
    in.reserve(uint32_t(plain.size()));
    std::memcpy(in.data(), plain.data(), plain.size());
    in.setLength(uint32_t(plain.size()));
    EXPECT_TRUE(cipher.encryptBlocks(in, out));
    return Bytes(out.data(), out.data() + out.length());
}

Bytes xorBytes(const Bytes& a, const Bytes& b)
{
    Bytes out(a.size());
    for (size_t i = 0; i < a.size(); ++i)
        out[i] = uint8_t(a[i] ^ b[i]);
    return out;
}

// MD5 of the empty message, from the RFC 1321 test suite.
const char* const kMd5OfEmptyHex = "d41d8cd98f00b204e9800998ecf8427e";

} // namespace

// encryptData pads every non-empty input to the next whole block (a whole
// number of blocks gains a full padding block), leaves its input as it was,
// and decryptData gives exactly the input back.
TEST(Rijndael2, EncryptDataLengthsAndRoundTrip)
{
    struct Case {
        uint32_t plainLength;
        uint32_t cipherLength;
    };
    const Case cases[] = {{0, 0},   {1, 16},  {4, 16},  {15, 16},  {16, 32},
                          {17, 32}, {31, 32}, {32, 48}, {100, 112}};
    Rijndael2 cipher;
    for (const Case& c : cases) {
        const Bytes plain = pattern(c.plainLength, c.plainLength);
        DataBuffer in;
        fill(in, plain);
        const std::unique_ptr<DataBuffer> out = cipher.encryptData(in);
        ASSERT_TRUE(out) << c.plainLength;
        EXPECT_EQ(out->getSize(), c.cipherLength) << c.plainLength;
        if (c.cipherLength > 0) {
            EXPECT_GE(out->getCapacity(), c.cipherLength + Rijndael2::kResultSlackBytes) << c.plainLength;
        }
        EXPECT_EQ(bytesOf(in), plain) << "input changed, length " << c.plainLength;
        EXPECT_EQ(decrypt(cipher, bytesOf(out)), plain) << c.plainLength;
    }
}

// Padding removal looks at the last deciphered byte only: 1..16 drops that
// many bytes, whatever the others hold; 0 and 17..255 drop nothing.
TEST(Rijndael2, LenientPaddingRemoval)
{
    struct Case {
        uint8_t lastByte;
        uint32_t keptLength;
    };
    const Case cases[] = {{0, 32}, {1, 31}, {3, 29}, {16, 16}, {17, 32}, {200, 32}, {255, 32}};
    Rijndael2 cipher;
    for (const Case& c : cases) {
        Bytes plain = pattern(32, c.lastByte);
        plain.back() = c.lastByte;
        const Bytes ciphertext = encryptRaw(cipher, plain);
        const Bytes expected = slice(plain, 0, c.keptLength);
        EXPECT_EQ(decrypt(cipher, ciphertext), expected) << int(c.lastByte);

        DataBuffer in;
        DataBuffer out;
        fill(in, ciphertext);
        cipher.decryptDataInto(in, out);
        EXPECT_EQ(bytesOf(out), expected) << "decryptDataInto, " << int(c.lastByte);
    }
}

TEST(Rijndael2, SetKeyLengthRule)
{
    struct Case {
        int32_t requested;
        int32_t selected;
    };
    const Case cases[] = {{-1, 128}, {0, 128},   {64, 128},  {128, 128}, {129, 192},
                          {192, 192}, {193, 256}, {256, 256}, {4096, 256}};
    Rijndael2 cipher;
    for (const Case& c : cases)
        EXPECT_EQ(cipher.setKeyLength(c.requested), c.selected) << c.requested;
}

// The key is the first 16, 24 or 32 bytes of the key material: shorter
// material is extended with zero bytes, longer material is cut.
TEST(Rijndael2, KeyMaterialZeroExtendedOrCut)
{
    const Bytes plain = pattern(40);
    struct Case {
        int32_t keyBits;
        uint32_t materialLength;
    };
    const Case cases[] = {{128, 0}, {128, 10}, {128, 40}, {192, 20}, {192, 40}, {256, 10}, {256, 40}};
    for (const Case& c : cases) {
        const uint32_t keyBytes = uint32_t(c.keyBits / 8);
        const Bytes material = pattern(c.materialLength, 7);
        Bytes key(keyBytes, 0);
        std::copy_n(material.begin(), std::min<size_t>(material.size(), keyBytes), key.begin());

        Rijndael2 fromMaterial;
        Rijndael2 fromKey;
        fromMaterial.setKeyLength(c.keyBits);
        fromKey.setKeyLength(c.keyBits);
        setKeyBytes(fromMaterial, material);
        setKeyBytes(fromKey, key);
        EXPECT_EQ(encrypt(fromMaterial, plain), encrypt(fromKey, plain))
            << c.keyBits << " bits from " << c.materialLength << " bytes";
    }

    // A published answer for the cut: 40 bytes whose first 32 are the
    // FIPS-197 C.3 key still give the C.3 ciphertext.
    Bytes material = fromHex("000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f");
    material.insert(material.end(), 8, 0xee);
    Rijndael2 cipher;
    cipher.setKeyLength(256);
    cipher.setEcbMode();
    setKeyBytes(cipher, material);
    EXPECT_EQ(toHex(encryptRaw(cipher, fromHex("00112233445566778899aabbccddeeff"))),
              "8ea2b7ca516745bfeafc49904b496089");
}

// setPassword derives MD5(password) || MD5(Base64(password)); for an empty
// password both halves are the MD5 of the empty message. A null password
// changes nothing, and the text and buffer forms agree.
TEST(Rijndael2, PasswordKeyMaterial)
{
    const Bytes plain = pattern(50);
    const Bytes md5OfEmpty = fromHex(kMd5OfEmptyHex);
    Bytes emptyPasswordKey = md5OfEmpty;
    emptyPasswordKey.insert(emptyPasswordKey.end(), md5OfEmpty.begin(), md5OfEmpty.end());

    Rijndael2 fromPassword;
    Rijndael2 fromKey;
    fromPassword.setPassword("");
    setKeyBytes(fromKey, emptyPasswordKey);
    EXPECT_EQ(encrypt(fromPassword, plain), encrypt(fromKey, plain));

    Rijndael2 textForm;
    Rijndael2 bufferForm;
    textForm.setPassword("open sesame");
    textForm.setPassword(static_cast<const char*>(nullptr));
    DataBuffer password;
    fill(password, Bytes{'o', 'p', 'e', 'n', ' ', 's', 'e', 's', 'a', 'm', 'e'});
    bufferForm.setPassword(password);
    EXPECT_EQ(encrypt(textForm, plain), encrypt(bufferForm, plain));
    EXPECT_NE(encrypt(textForm, plain), encrypt(fromKey, plain));

    // An object never given a key uses the key derived from "mervask".
    Rijndael2 fresh;
    Rijndael2 explicitDefault;
    explicitDefault.setPassword("mervask");
    EXPECT_EQ(encrypt(fresh, plain), encrypt(explicitDefault, plain));
}

// Every decryptDataInto starts from the stored IV again, and in and out may
// be one buffer.
TEST(Rijndael2, DecryptDataIntoRepeatsAndWorksInPlace)
{
    Rijndael2 cipher;
    cipher.setKeyLength(128);
    cipher.setCbcMode();
    setKeyBytes(cipher, pattern(16, 3));
    const Bytes plain = pattern(70, 4);
    const Bytes ciphertext = encrypt(cipher, plain);

    DataBuffer in;
    DataBuffer first;
    DataBuffer second;
    fill(in, ciphertext);
    cipher.decryptDataInto(in, first);
    cipher.decryptDataInto(in, second);
    EXPECT_EQ(bytesOf(first), plain);
    EXPECT_EQ(bytesOf(second), plain);
    EXPECT_GE(first.getCapacity(), uint32_t(ciphertext.size()) + Rijndael2::kResultSlackBytes);

    cipher.decryptDataInto(in, in);
    EXPECT_EQ(bytesOf(in), plain);
}

// The object keeps its expanded schedule from call to call and expands again
// only for another key: each change of key bytes, key length or direction
// between calls takes effect at once, as in a fresh object.
TEST(Rijndael2, KeyChangesBetweenCallsTakeEffect)
{
    const Bytes plain = pattern(100, 8);
    const Bytes keyA = pattern(32, 9);
    Bytes keyB = keyA;
    keyB[31] ^= 1; // differs only in a byte AES-128 does not use
    Bytes keyC = keyA;
    keyC[0] ^= 1;

    auto fresh = [&](const Bytes& key, int32_t bits) {
        Rijndael2 cipher;
        cipher.setKeyLength(bits);
        setKeyBytes(cipher, key);
        return encrypt(cipher, plain);
    };

    Rijndael2 cipher;
    const struct {
        const char* label;
        const Bytes& key;
        int32_t bits;
    } steps[] = {
        {"key A, AES-256", keyA, 256}, {"key A again", keyA, 256},       {"key B", keyB, 256},
        {"key B, AES-128", keyB, 128}, {"key A, AES-128", keyA, 128},    {"key C, AES-128", keyC, 128},
        {"key C, AES-192", keyC, 192}, {"key A, AES-256 again", keyA, 256},
    };
    for (const auto& step : steps) {
        cipher.setKeyLength(step.bits);
        setKeyBytes(cipher, step.key);
        const Bytes expected = fresh(step.key, step.bits);
        EXPECT_EQ(toHex(encrypt(cipher, plain)), toHex(expected)) << step.label;
        // Decryption needs the other schedule; then encryption again.
        EXPECT_EQ(decrypt(cipher, expected), plain) << step.label;
        EXPECT_EQ(toHex(encrypt(cipher, plain)), toHex(expected)) << step.label << ", after decryption";
    }
}

// Input without a whole block: decryptData gives nothing, decryptDataInto
// keeps the length without deciphering or unpadding, and an empty input
// leaves the output alone.
TEST(Rijndael2, CiphertextShorterThanABlock)
{
    Rijndael2 cipher;
    EXPECT_EQ(decrypt(cipher, pattern(5)).size(), 0u);

    DataBuffer in;
    DataBuffer out;
    Bytes shortInput(5, 0x05); // would unpad all five bytes if it were treated as padding
    fill(in, shortInput);
    cipher.decryptDataInto(in, out);
    EXPECT_EQ(out.getSize(), 5u);

    DataBuffer empty;
    fill(out, Bytes{'a', 'b', 'c'});
    cipher.decryptDataInto(empty, out);
    EXPECT_EQ(bytesOf(out), (Bytes{'a', 'b', 'c'}));
}

TEST(Rijndael2, DescribeAndApplyDescription)
{
    Rijndael2 cipher;
    CipherDescription record;
    std::memset(&record, 0x5a, sizeof(record));
    cipher.describe(record);
    EXPECT_EQ(record.callerWord, 0x5a5a5a5au);
    EXPECT_STREQ(record.providerName, "brivane");
    EXPECT_EQ(record.algorithmId, kCipherAlgorithmAes);
    EXPECT_EQ(record.mode, 0);
    EXPECT_EQ(record.flagOne, 1);
    EXPECT_EQ(record.flagZero, 0);
    EXPECT_EQ(record.reservedA, 0u);
    EXPECT_EQ(record.keyLengthBits, 256);
    EXPECT_EQ(record.reservedB, 0u);

    // Round trip keeps AES-256 and selects CBC (mode byte 0).
    cipher.setKeyLength(128);
    cipher.setEcbMode();
    cipher.applyDescription(record);
    cipher.describe(record);
    EXPECT_EQ(record.keyLengthBits, 256);
    const Bytes twoEqualBlocks(32, 0x42);
    Bytes out = encryptRaw(cipher, twoEqualBlocks);
    EXPECT_NE(slice(out, 0, 16), slice(out, 16, 16)) << "CBC expected";

    // Mode byte 1 selects ECB: equal blocks encipher equally.
    record.mode = kCipherDescriptionModeEcb;
    record.keyLengthBits = 150;
    cipher.applyDescription(record);
    cipher.describe(record);
    EXPECT_EQ(record.keyLengthBits, 192);
    out = encryptRaw(cipher, twoEqualBlocks);
    EXPECT_EQ(slice(out, 0, 16), slice(out, 16, 16)) << "ECB expected";
}

// The block-to-block operations process the whole capacity, keep the
// logical length, and never pad.
TEST(Rijndael2, BlockOperations)
{
    Rijndael2 cipher;
    BlockBuffer in;
    BlockBuffer out;
    BlockBuffer back;
    ASSERT_TRUE(in.reserve(5));
    const Bytes content = pattern(16, 9); // bytes beyond the logical length too
    std::memcpy(in.data(), content.data(), content.size());
    in.setLength(5);

    ASSERT_TRUE(cipher.encryptBlocks(in, out));
    EXPECT_EQ(out.capacity(), 16u);
    EXPECT_EQ(out.length(), 5u);
    ASSERT_TRUE(cipher.decryptBlocks(out, back));
    EXPECT_EQ(back.length(), 5u);
    EXPECT_EQ(Bytes(back.data(), back.data() + 16), content);

    // Into: the caller's storage; too small storage is refused.
    BlockBuffer into;
    into.reserve(32);
    ASSERT_TRUE(cipher.decryptBlocksInto(out, into));
    EXPECT_EQ(into.length(), 5u);
    EXPECT_EQ(Bytes(into.data(), into.data() + 16), content);
    BlockBuffer big;
    big.reserve(48);
    big.setLength(48);
    EXPECT_FALSE(cipher.encryptBlocksInto(big, into));
    EXPECT_EQ(into.length(), 0u);

    // In place.
    ASSERT_TRUE(cipher.encryptBlocks(in, in));
    EXPECT_EQ(Bytes(in.data(), in.data() + 16), Bytes(out.data(), out.data() + 16));

    // Logical length 0: the reserving operations clear out, the Into ones
    // leave it alone; all succeed.
    BlockBuffer empty;
    empty.reserve(16);
    into.setLength(7);
    EXPECT_TRUE(cipher.encryptBlocksInto(empty, into));
    EXPECT_EQ(into.length(), 7u);
    EXPECT_TRUE(cipher.decryptBlocks(empty, out));
    EXPECT_EQ(out.capacity(), 0u);
    EXPECT_EQ(out.data(), nullptr);
}

// Pieces through encryptFirst / encryptNext / encryptLast, with the chain
// set to the last 16 output bytes after each piece, equal one encryptData of
// the whole; the decrypting pieces give the whole plaintext back. In ECB the
// chain is irrelevant and the same holds.
TEST(Rijndael2, ChainedPiecesEqualOneShot)
{
    struct Case {
        bool cbc;
        std::vector<uint32_t> pieceLengths; // all but the last: whole blocks
    };
    const Case cases[] = {
        {true, {32, 48, 21}},
        {true, {16, 16}},
        {true, {64, 0}}, // whole blocks: the last piece is only the padding block
        {false, {32, 48, 21}},
    };
    for (const Case& c : cases) {
        uint32_t total = 0;
        for (uint32_t n : c.pieceLengths)
            total += n;
        const Bytes whole = pattern(total, total);
        const Bytes key = pattern(32, 11);

        Rijndael2 oneShot;
        c.cbc ? oneShot.setCbcMode() : oneShot.setEcbMode();
        setKeyBytes(oneShot, key);
        const Bytes expected = encrypt(oneShot, whole);

        Rijndael2 chained;
        c.cbc ? chained.setCbcMode() : chained.setEcbMode();
        setKeyBytes(chained, key);
        Bytes joined;
        DataBuffer chain;
        size_t offset = 0;
        for (size_t i = 0; i < c.pieceLengths.size(); ++i) {
            DataBuffer piece;
            fill(piece, slice(whole, offset, c.pieceLengths[i]));
            offset += c.pieceLengths[i];
            std::unique_ptr<DataBuffer> out;
            if (i == 0)
                out = chained.encryptFirst(piece);
            else if (i + 1 == c.pieceLengths.size())
                out = chained.encryptLast(piece, chain);
            else
                out = chained.encryptNext(piece, chain);
            const Bytes outBytes = bytesOf(out);
            joined.insert(joined.end(), outBytes.begin(), outBytes.end());
            if (outBytes.size() >= 16)
                fill(chain, slice(outBytes, outBytes.size() - 16, 16));
        }
        EXPECT_EQ(toHex(joined), toHex(expected)) << "encrypt, total " << total;

        // Decrypt the one-shot ciphertext in the same piece boundaries (the
        // last piece takes the rest, padding block included).
        Rijndael2 decryptor;
        c.cbc ? decryptor.setCbcMode() : decryptor.setEcbMode();
        setKeyBytes(decryptor, key);
        uint8_t chainBlock[16] = {};
        Bytes plain;
        offset = 0;
        for (size_t i = 0; i < c.pieceLengths.size(); ++i) {
            const bool last = i + 1 == c.pieceLengths.size();
            const size_t length = last ? expected.size() - offset : c.pieceLengths[i];
            DataBuffer piece;
            fill(piece, slice(expected, offset, length));
            offset += length;
            std::unique_ptr<DataBuffer> out = i == 0 ? decryptor.decryptFirst(piece, chainBlock)
                                              : last ? decryptor.decryptLast(piece, chainBlock)
                                                     : decryptor.decryptNext(piece, chainBlock);
            const Bytes outBytes = bytesOf(out);
            plain.insert(plain.end(), outBytes.begin(), outBytes.end());
        }
        EXPECT_EQ(plain, whole) << "decrypt, total " << total;
        // The chained decryption left the stored IV alone.
        EXPECT_EQ(decrypt(decryptor, expected), whole) << "after chained decryption";
    }
}

// encryptNext adopts the chain as the stored IV for good: a later one-shot
// encryption starts from it. A chain shorter than a block is first extended
// with 16 zero bytes.
TEST(Rijndael2, EncryptNextAdoptsChainAsIv)
{
    const Bytes key = pattern(32, 21);
    const Bytes plain = pattern(16, 22);
    Rijndael2 ecb;
    ecb.setEcbMode();
    setKeyBytes(ecb, key);

    struct Case {
        Bytes chain;
        Bytes expectedIv;
    };
    Bytes shortChain = {1, 2, 3, 4, 5};
    Bytes shortChainIv = shortChain;
    shortChainIv.resize(16, 0);
    const Case cases[] = {{pattern(16, 23), pattern(16, 23)}, {shortChain, shortChainIv}};
    for (const Case& c : cases) {
        Rijndael2 cipher;
        setKeyBytes(cipher, key);
        DataBuffer first;
        fill(first, pattern(32, 24));
        ASSERT_EQ(bytesOf(cipher.encryptFirst(first)).size(), 32u);
        DataBuffer chain;
        DataBuffer piece;
        fill(chain, c.chain);
        fill(piece, plain);
        const Bytes next = bytesOf(cipher.encryptNext(piece, chain));
        const size_t expectedChainBytes = c.chain.size() < 16 ? c.chain.size() + 16 : c.chain.size();
        EXPECT_EQ(chain.getSize(), expectedChainBytes);

        // CBC of one block from IV v is E(P xor v).
        const Bytes expectedBlock = encryptRaw(ecb, xorBytes(plain, c.expectedIv));
        EXPECT_EQ(next, expectedBlock);
        const Bytes later = encrypt(cipher, plain);
        ASSERT_EQ(later.size(), 32u);
        EXPECT_EQ(slice(later, 0, 16), expectedBlock) << "IV did not persist";
    }
}

// A subclass that overrides nothing shows the base behaviour: no mode, key
// length 128, no operation offered.
TEST(SymmetricAlgorithm2, BaseClassOffersNothing)
{
    struct Bare : SymmetricAlgorithm2 {};
    Bare bare;
    DataBuffer in;
    fill(in, pattern(20));
    BlockBuffer blocksIn;
    BlockBuffer blocksOut;
    blocksIn.reserve(16);
    blocksIn.setLength(16);
    EXPECT_FALSE(bare.setEcbMode());
    EXPECT_FALSE(bare.setCbcMode());
    EXPECT_FALSE(bare.setReservedModeA());
    EXPECT_FALSE(bare.setReservedModeB());
    EXPECT_EQ(bare.setKeyLength(256), 128);
    EXPECT_EQ(bare.encryptData(in), nullptr);
    EXPECT_EQ(bare.decryptData(in), nullptr);
    EXPECT_FALSE(bare.encryptBlocks(blocksIn, blocksOut));
    EXPECT_FALSE(bare.decryptBlocks(blocksIn, blocksOut));
    EXPECT_FALSE(bare.encryptBlocksInto(blocksIn, blocksOut));
    EXPECT_FALSE(bare.decryptBlocksInto(blocksIn, blocksOut));
    CipherDescription record;
    std::memset(&record, 0x77, sizeof(record));
    bare.describe(record);
    EXPECT_EQ(record.algorithmId, 0x77);

    Rijndael2 aes;
    EXPECT_FALSE(aes.setReservedModeA());
    EXPECT_FALSE(aes.setReservedModeB());
}

TEST(BlockBuffer, ReserveRoundsUpToWholeBlocks)
{
    struct Case {
        uint32_t requested;
        uint32_t capacity;
    };
    const Case cases[] = {{0, 0}, {1, 16}, {5, 16}, {16, 16}, {17, 32}, {100, 112}};
    for (const Case& c : cases) {
        BlockBuffer buffer;
        buffer.setLength(3);
        EXPECT_EQ(buffer.length(), 0u) << "length above the capacity is cut";
        ASSERT_TRUE(buffer.reserve(c.requested));
        EXPECT_EQ(buffer.capacity(), c.capacity) << c.requested;
        EXPECT_EQ(buffer.length(), 0u);
        buffer.setLength(c.requested + 1000);
        EXPECT_EQ(buffer.length(), c.capacity) << c.requested;
    }
}
