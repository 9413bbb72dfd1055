// The bare Blowfish cipher: its initial tables against the digits of pi
// computed here, and the block transform against Eric Young's published test
// vectors (the table of key / clear / cipher blocks and the table of keys of
// 1 to 24 bytes).

#include "crypto/BlowfishCore.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "TestHex.h"

namespace {

// ---------------------------------------------------------------------------
// Pi in binary fixed point, from Machin's formula
// pi = 16 atan(1/5) - 4 atan(1/239). limbs[0] holds the integer part,
// limbs[1..] the fraction, most significant first, 32 bits per limb.
// ---------------------------------------------------------------------------

using Fixed = std::vector<uint32_t>;

void divideInPlace(Fixed& x, uint32_t divisor)
{
    uint64_t remainder = 0;
    for (uint32_t& limb : x) {
        const uint64_t current = (remainder << 32) | limb;
        limb = uint32_t(current / divisor);
        remainder = current % divisor;
    }
}

void multiplyInPlace(Fixed& x, uint32_t factor)
{
    uint64_t carry = 0;
    for (size_t i = x.size(); i-- > 0;) {
        const uint64_t current = uint64_t(x[i]) * factor + carry;
        x[i] = uint32_t(current);
        carry = current >> 32;
    }
}

void addInPlace(Fixed& x, const Fixed& y)
{
    uint64_t carry = 0;
    for (size_t i = x.size(); i-- > 0;) {
        const uint64_t sum = uint64_t(x[i]) + y[i] + carry;
        x[i] = uint32_t(sum);
        carry = sum >> 32;
    }
}

void subtractInPlace(Fixed& x, const Fixed& y)
{
    int64_t borrow = 0;
    for (size_t i = x.size(); i-- > 0;) {
        int64_t difference = int64_t(x[i]) - int64_t(y[i]) - borrow;
        borrow = difference < 0 ? 1 : 0;
        if (difference < 0)
            difference += int64_t(1) << 32;
        x[i] = uint32_t(difference);
    }
}

bool isZero(const Fixed& x)
{
    for (uint32_t limb : x)
        if (limb != 0)
            return false;
    return true;
}

// atan(1/x) = 1/x - 1/(3x^3) + 1/(5x^5) - ...
Fixed arctanOfInverse(uint32_t x, size_t limbs)
{
    Fixed power(limbs, 0);
    power[0] = 1;
    divideInPlace(power, x);
    Fixed sum = power;
    for (uint32_t k = 3, sign = 1; !isZero(power); k += 2, sign ^= 1) {
        divideInPlace(power, x * x);
        Fixed term = power;
        divideInPlace(term, k);
        if (sign)
            subtractInPlace(sum, term);
        else
            addInPlace(sum, term);
    }
    return sum;
}

Fixed computePi(size_t fractionLimbs)
{
    const size_t guardLimbs = 3; // absorb the truncation error of each term
    const size_t limbs = 1 + fractionLimbs + guardLimbs;
    Fixed pi = arctanOfInverse(5, limbs);
    multiplyInPlace(pi, 16);
    Fixed small = arctanOfInverse(239, limbs);
    multiplyInPlace(small, 4);
    subtractInPlace(pi, small);
    return pi;
}

TEST(BlowfishCore, InitialTablesAreTheFractionalHexDigitsOfPi)
{
    const size_t tableWords = kBlowfishPArrayWords + kBlowfishSBoxCount * kBlowfishSBoxWords;
    const Fixed pi = computePi(tableWords);
    ASSERT_EQ(pi[0], 3u);

    // The published first words, as a check on the computation itself.
    EXPECT_EQ(pi[1], 0x243F6A88u);
    EXPECT_EQ(pi[2], 0x85A308D3u);

    for (uint32_t i = 0; i < kBlowfishPArrayWords; ++i)
        ASSERT_EQ(kBlowfishInitialP[i], pi[1 + i]) << "P[" << i << "]";
    for (uint32_t box = 0; box < kBlowfishSBoxCount; ++box)
        for (uint32_t i = 0; i < kBlowfishSBoxWords; ++i)
            ASSERT_EQ(kBlowfishInitialS[box][i], pi[1 + kBlowfishPArrayWords + box * kBlowfishSBoxWords + i])
                << "S" << box << "[" << i << "]";
}

// ---------------------------------------------------------------------------
// Block transform. Vectors list blocks as bytes, and a block's halves are the
// big-endian words of bytes 0-3 and 4-7.
// ---------------------------------------------------------------------------

uint64_t blockFromHex(const char* hex)
{
    const std::vector<uint8_t> bytes = fromHex(hex);
    uint64_t block = 0;
    for (uint8_t b : bytes)
        block = (block << 8) | b;
    return block;
}

uint64_t encrypt(const BlowfishSchedule& schedule, uint64_t block)
{
    uint32_t left = uint32_t(block >> 32);
    uint32_t right = uint32_t(block);
    blowfishEncryptBlock(schedule, left, right);
    return (uint64_t(left) << 32) | right;
}

uint64_t decrypt(const BlowfishSchedule& schedule, uint64_t block)
{
    uint32_t left = uint32_t(block >> 32);
    uint32_t right = uint32_t(block);
    blowfishDecryptBlock(schedule, left, right);
    return (uint64_t(left) << 32) | right;
}

struct BlockVector {
    const char* key;
    const char* clear;
    const char* cipher;
};

// From Eric Young's Blowfish test vectors, "ecb test data" (taken from the
// DES validation tests), all 34 rows.
const BlockVector kEcbVectors[] = {
    {"0000000000000000", "0000000000000000", "4EF997456198DD78"},
    {"FFFFFFFFFFFFFFFF", "FFFFFFFFFFFFFFFF", "51866FD5B85ECB8A"},
    {"3000000000000000", "1000000000000001", "7D856F9A613063F2"},
    {"1111111111111111", "1111111111111111", "2466DD878B963C9D"},
    {"0123456789ABCDEF", "1111111111111111", "61F9C3802281B096"},
    {"1111111111111111", "0123456789ABCDEF", "7D0CC630AFDA1EC7"},
    {"0000000000000000", "0000000000000000", "4EF997456198DD78"},
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

TEST(BlowfishCore, EcbVectorsEncryptAndDecrypt)
{
    for (const BlockVector& v : kEcbVectors) {
        const std::vector<uint8_t> key = fromHex(v.key);
        BlowfishSchedule schedule;
        ASSERT_TRUE(blowfishExpandKey(schedule, key.data(), uint32_t(key.size())));
        EXPECT_EQ(encrypt(schedule, blockFromHex(v.clear)), blockFromHex(v.cipher)) << "key " << v.key;
        EXPECT_EQ(decrypt(schedule, blockFromHex(v.cipher)), blockFromHex(v.clear)) << "key " << v.key;
    }
}

// From Eric Young's Blowfish test vectors, "set_key test data": the block
// FEDCBA9876543210 under the first 1 to 24 bytes of one key.
const char kSetKeyFullKey[] = "F0E1D2C3B4A5968778695A4B3C2D1E0F0011223344556677";
const char kSetKeyClear[] = "FEDCBA9876543210";
const char* const kSetKeyCiphers[24] = {
    "F9AD597C49DB005E", "E91D21C1D961A6D6", "E9C2B70A1BC65CF3", "BE1E639408640F05",
    "B39E44481BDB1E6E", "9457AA83B1928C0D", "8BB77032F960629D", "E87A244E2CC85E82",
    "15750E7A4F4EC577", "122BA70B3AB64AE0", "3A833C9AFFC537F6", "9409DA87A90F6BF2",
    "884F80625060B8B4", "1F85031C19E11968", "79D9373A714CA34F", "93142887EE3BE15C",
    "03429E838CE2D14B", "A4299E27469FF67B", "AFD5AED1C1BC96A8", "10851C0E3858DA9F",
    "E6F51ED79B9DB21F", "64A6E14AFD36B46F", "80C7D7D45A5479AD", "05044B62FA52D080",
};

TEST(BlowfishCore, SetKeyVectorsForKeysOfOneTo24Bytes)
{
    const std::vector<uint8_t> fullKey = fromHex(kSetKeyFullKey);
    for (uint32_t keyBytes = 1; keyBytes <= 24; ++keyBytes) {
        BlowfishSchedule schedule;
        ASSERT_TRUE(blowfishExpandKey(schedule, fullKey.data(), keyBytes));
        EXPECT_EQ(encrypt(schedule, blockFromHex(kSetKeyClear)), blockFromHex(kSetKeyCiphers[keyBytes - 1]))
            << keyBytes << "-byte key";
    }
}

TEST(BlowfishCore, RefusesKeysOutsideOneTo56Bytes)
{
    const uint8_t key[57] = {};
    BlowfishSchedule schedule;
    EXPECT_FALSE(blowfishExpandKey(schedule, key, 0));
    EXPECT_FALSE(blowfishExpandKey(schedule, key, 57));
    EXPECT_FALSE(blowfishExpandKey(schedule, nullptr, 8));
    EXPECT_TRUE(blowfishExpandKey(schedule, key, 56));
}

} // namespace
