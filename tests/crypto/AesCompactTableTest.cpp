// The installer stub's compact table path (one round table per direction,
// AesCompactTableTransform) against FIPS-197 and against the library's
// four-table path on the same schedules: every key length, both
// directions, ECB and CBC, every block count up to 9, separate and
// in-place buffers, and CBC chains continued across calls.

#include "crypto/AesCompactTableTransform.h"
#include "crypto/AesCore.h"
#include "crypto/AesTableTransform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "AesTestVectors.h"
#include "TestHex.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct Schedule {
    uint32_t words[kAesMaxScheduleWords] = {};
    int32_t rounds = 0;
};

Schedule makeSchedule(const Bytes& key, bool decrypt)
{
    Schedule s;
    s.rounds = int32_t(key.size() / 4 + 6);
    aesTableExpandKey(key.data(), uint32_t(key.size() / 4), s.rounds, s.words);
    if (decrypt)
        aesTableInvertSchedule(s.words, s.rounds);
    return s;
}

Bytes randomBytes(std::mt19937& random, size_t length)
{
    Bytes out(length);
    for (uint8_t& b : out)
        b = uint8_t(random());
    return out;
}

using EcbFunction = void (*)(const uint32_t*, int32_t, const uint8_t*, uint8_t*, size_t);
using CbcFunction = void (*)(const uint32_t*, int32_t, const uint8_t*, uint8_t*, size_t, uint8_t*);

struct Operation {
    const char* name;
    bool decrypt;
    EcbFunction compactEcb;
    EcbFunction referenceEcb;
    CbcFunction compactCbc;
    CbcFunction referenceCbc;
};

const Operation kOperations[] = {
    {"encrypt", false, aesCompactTableEncryptBlocks, aesTableEncryptBlocks, aesCompactTableEncryptCbc,
     aesTableEncryptCbc},
    {"decrypt", true, aesCompactTableDecryptBlocks, aesTableDecryptBlocks, aesCompactTableDecryptCbc,
     aesTableDecryptCbc},
};

} // namespace

TEST(AesCompactTable, Fips197Vectors)
{
    for (const AesVector& v : kFips197Vectors) {
        const Bytes key = fromHex(v.keyHex);
        const Bytes plain = fromHex(v.plainHex);
        const Bytes cipher = fromHex(v.cipherHex);
        Bytes out(kAesBlockBytes);
        const Schedule encrypt = makeSchedule(key, false);
        aesCompactTableEncryptBlocks(encrypt.words, encrypt.rounds, plain.data(), out.data(), 1);
        EXPECT_EQ(toHex(out), v.cipherHex) << v.label;
        const Schedule decrypt = makeSchedule(key, true);
        aesCompactTableDecryptBlocks(decrypt.words, decrypt.rounds, cipher.data(), out.data(), 1);
        EXPECT_EQ(toHex(out), v.plainHex) << v.label;
    }
}

TEST(AesCompactTable, AgreesWithFourTablePath)
{
    std::mt19937 random(1997);
    for (uint32_t keyBytes : {kAes128KeyBytes, kAes192KeyBytes, kAes256KeyBytes}) {
        const Bytes key = randomBytes(random, keyBytes);
        for (const Operation& op : kOperations) {
            const Schedule s = makeSchedule(key, op.decrypt);
            for (size_t blocks = 0; blocks <= 9; ++blocks) {
                const Bytes in = randomBytes(random, blocks * kAesBlockBytes);
                const Bytes iv = randomBytes(random, kAesBlockBytes);
                SCOPED_TRACE(testing::Message() << "AES-" << keyBytes * 8 << " " << op.name << ", " << blocks
                                                << " blocks");

                Bytes expected(in.size());
                op.referenceEcb(s.words, s.rounds, in.data(), expected.data(), blocks);
                Bytes separate(in.size());
                op.compactEcb(s.words, s.rounds, in.data(), separate.data(), blocks);
                EXPECT_EQ(toHex(separate), toHex(expected)) << "ECB";
                Bytes inPlace = in;
                op.compactEcb(s.words, s.rounds, inPlace.data(), inPlace.data(), blocks);
                EXPECT_EQ(toHex(inPlace), toHex(expected)) << "ECB in place";

                Bytes expectedChain = iv;
                op.referenceCbc(s.words, s.rounds, in.data(), expected.data(), blocks, expectedChain.data());
                Bytes chain = iv;
                op.compactCbc(s.words, s.rounds, in.data(), separate.data(), blocks, chain.data());
                EXPECT_EQ(toHex(separate), toHex(expected)) << "CBC";
                EXPECT_EQ(toHex(chain), toHex(expectedChain)) << "CBC chain";
                // The same chain in two calls, the second in place.
                chain = iv;
                inPlace = in;
                const size_t firstBlocks = blocks / 2;
                op.compactCbc(s.words, s.rounds, in.data(), separate.data(), firstBlocks, chain.data());
                op.compactCbc(s.words, s.rounds, inPlace.data() + firstBlocks * kAesBlockBytes,
                              inPlace.data() + firstBlocks * kAesBlockBytes, blocks - firstBlocks, chain.data());
                std::copy(separate.begin(), separate.begin() + firstBlocks * kAesBlockBytes, inPlace.begin());
                EXPECT_EQ(toHex(inPlace), toHex(expected)) << "CBC in two calls";
                EXPECT_EQ(toHex(chain), toHex(expectedChain)) << "CBC chain in two calls";
            }
        }
    }
}
