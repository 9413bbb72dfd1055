// WinZip AES entry encryption: the layout sizes, the failure table with its
// messages, slicing, and round trips. The comparison with a real archiver is
// in ZipInteropTest.cpp.

#include "crypto/WinZipAes.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "ZipCryptTestSupport.h"
#include "core/DataBuffer.h"
#include "core/StringBuffer.h"
#include "io/MemoryDataSource.h"
#include "io/OutputDataBuffer.h"

using zipcrypt_test::Bytes;
using zipcrypt_test::patternBytes;
using zipcrypt_test::RecordingLog;

namespace {

const char* const kShortEntry = "Not enough data for a WinZip AES entry";
const char* const kDecryptInit = "WinZip AES decrypt initialization failed";
const char* const kBadPassword = "Invalid password for WinZip AES decryption";
const char* const kBadAuth = "WinZip AES authentication code mismatch";
const char* const kEncryptInit = "WinZip AES encrypt initialization failed";
const char* const kWriteFailed = "Failed to write WinZip AES entry data";

Bytes bytesOf(const DataBuffer& b) { return Bytes(b.getData(), b.getData() + b.getSize()); }

// Encrypts bytes with encryptMemory and returns the entry data.
Bytes encrypt(const Bytes& plain, const char* password, int32_t strength) {
    DataBuffer entry;
    OutputDataBuffer out(&entry);
    StringBuffer pw(password);
    EXPECT_TRUE(WinZipAes::encryptMemory(plain.data(), uint32_t(plain.size()), pw, strength, out, nullptr));
    return bytesOf(entry);
}

struct DecryptResult {
    bool ok;
    bool badPassword;
    bool badAuth;
    Bytes plain;
    std::vector<std::string> errors;
};

DecryptResult decrypt(const Bytes& entry, const char* password, int32_t strength) {
    DataBuffer entryBuffer;
    entryBuffer.append(entry.data(), uint32_t(entry.size()));
    StringBuffer pw(password);
    DataBuffer out;
    RecordingLog log;
    DecryptResult r{};
    r.badPassword = r.badAuth = true;  // must be cleared by the call
    r.ok = WinZipAes::decryptEntry(entryBuffer, pw, strength, out, &log, r.badPassword, r.badAuth);
    r.plain = bytesOf(out);
    r.errors = log.errors();
    return r;
}

// A source that records the size of every read it is asked for.
class RecordingSource : public MemoryDataSource {
public:
    RecordingSource(const void* data, uint32_t size) : MemoryDataSource(data, size) {}
    bool readBytes(void* buffer, uint32_t maxBytes, uint32_t* bytesRead) override {
        const bool ok = MemoryDataSource::readBytes(buffer, maxBytes, bytesRead);
        asked.push_back(maxBytes);
        delivered.push_back(bytesRead != nullptr ? *bytesRead : 0);
        return ok;
    }
    std::vector<uint32_t> asked;
    std::vector<uint32_t> delivered;
};

// An output that accepts only the first limit bytes.
class ShortOutput : public Output {
public:
    explicit ShortOutput(uint32_t limit) : m_limit(limit) {}
    uint32_t writeBytes(const void*, uint32_t itemSize, uint32_t itemCount) override {
        const uint32_t want = itemSize * itemCount;
        const uint32_t take = want < m_limit - m_written ? want : m_limit - m_written;
        m_written += take;
        return take;
    }

private:
    uint32_t m_limit;
    uint32_t m_written = 0;
};

}  // namespace

TEST(WinZipAes, OverheadAndStrengthTables) {
    struct {
        int32_t strength;
        uint32_t overhead;
    } overheads[] = {{1, 20}, {2, 24}, {3, 28}, {0, 20}, {4, 20}, {-1, 20}};
    for (const auto& c : overheads) {
        EXPECT_EQ(WinZipAes::overhead(c.strength), c.overhead) << "strength " << c.strength;
    }
    struct {
        uint32_t keyBits;
        int32_t strength;
    } strengths[] = {{128, 1}, {192, 2}, {256, 3}, {0, 1}, {512, 1}};
    for (const auto& c : strengths) {
        EXPECT_EQ(WinZipAes::strengthFromKeyBits(c.keyBits), c.strength) << "keyBits " << c.keyBits;
    }
}

// Entry length = plaintext + overhead for every strength form, and the
// entry decrypts to the plaintext with either form of the strength.
TEST(WinZipAes, RoundTripEveryStrength) {
    const Bytes plain = patternBytes(1000, 3);
    const struct {
        int32_t strength;
        int32_t alias;
        uint32_t overhead;
    } cases[] = {{1, 128, 20}, {2, 192, 24}, {3, 256, 28}};
    for (const auto& c : cases) {
        for (int32_t given : {c.strength, c.alias}) {
            const Bytes entry = encrypt(plain, "pass", given);
            ASSERT_EQ(entry.size(), plain.size() + c.overhead) << "strength given as " << given;
            const DecryptResult r = decrypt(entry, "pass", c.alias == given ? c.strength : c.alias);
            EXPECT_TRUE(r.ok) << "strength given as " << given;
            EXPECT_FALSE(r.badPassword);
            EXPECT_FALSE(r.badAuth);
            EXPECT_EQ(r.plain, plain);
        }
    }
}

// The AES-256 entry of an empty plaintext is salt + verifier + code.
TEST(WinZipAes, EmptyPlaintextIs28Bytes) {
    const Bytes entry = encrypt(Bytes(), "pw", 3);
    ASSERT_EQ(entry.size(), 28u);
    DataBuffer out;
    out.append("junk", 4);
    StringBuffer pw("pw");
    bool badPassword = true, badAuth = true;
    EXPECT_TRUE(WinZipAes::decryptEntry(entry.data(), uint32_t(entry.size()), pw, 3, out, nullptr,
                                        badPassword, badAuth));
    EXPECT_EQ(out.getSize(), 0u);
    EXPECT_FALSE(badPassword);
    EXPECT_FALSE(badAuth);
}

// The failure table: each situation, its message and its flags.
TEST(WinZipAes, DecryptFailureTable) {
    const Bytes good = encrypt(patternBytes(300, 9), "pw", 3);
    Bytes tamperedData = good;
    tamperedData[16 + 2 + 100] ^= 0x01;
    Bytes tamperedCode = good;
    tamperedCode.back() ^= 0x80;

    const struct {
        const char* label;
        Bytes entry;
        const char* password;
        int32_t strength;
        const char* message;
        bool badPassword;
        bool badAuth;
    } cases[] = {
        {"20-byte entry with strength 3", Bytes(20, 0), "pw", 3, kShortEntry, false, false},
        {"27-byte entry with strength 256", Bytes(27, 0), "pw", 256, kShortEntry, false, false},
        {"19-byte entry with strength 1", Bytes(19, 0), "pw", 1, kShortEntry, false, false},
        {"strength 4", good, "pw", 4, kDecryptInit, false, false},
        {"strength 0", good, "pw", 0, kDecryptInit, false, false},
        {"129-byte password", good, nullptr, 3, kDecryptInit, false, false},
        {"wrong password", good, "Pw", 3, kBadPassword, true, false},
        {"one ciphertext bit flipped", tamperedData, "pw", 3, kBadAuth, false, true},
        {"one code bit flipped", tamperedCode, "pw", 3, kBadAuth, false, true},
    };
    const std::string longPassword(129, 'x');
    for (const auto& c : cases) {
        const DecryptResult r = decrypt(c.entry, c.password != nullptr ? c.password : longPassword.c_str(), c.strength);
        EXPECT_FALSE(r.ok) << c.label;
        ASSERT_EQ(r.errors.size(), 1u) << c.label;
        EXPECT_EQ(r.errors[0], c.message) << c.label;
        EXPECT_EQ(r.badPassword, c.badPassword) << c.label;
        EXPECT_EQ(r.badAuth, c.badAuth) << c.label;
    }

    // A null entry is "not enough data".
    StringBuffer pw("pw");
    DataBuffer out;
    RecordingLog log;
    bool badPassword = false, badAuth = false;
    EXPECT_FALSE(WinZipAes::decryptEntry(nullptr, 100, pw, 3, out, &log, badPassword, badAuth));
    ASSERT_EQ(log.errors().size(), 1u);
    EXPECT_EQ(log.errors()[0], kShortEntry);
}

// After an authentication failure the output still holds the deciphered
// bytes: all of them right except the flipped one.
TEST(WinZipAes, AuthFailureKeepsDecipheredBytes) {
    const Bytes plain = patternBytes(300, 9);
    Bytes entry = encrypt(plain, "pw", 2);
    entry[12 + 2 + 100] ^= 0x01;
    const DecryptResult r = decrypt(entry, "pw", 2);
    EXPECT_TRUE(r.badAuth);
    ASSERT_EQ(r.plain.size(), plain.size());
    Bytes expected = plain;
    expected[100] ^= 0x01;  // counter mode: a flipped ciphertext bit flips that plaintext bit only
    EXPECT_EQ(r.plain, expected);
}

// Passwords of exactly 128 bytes are accepted; 129 bytes fail the set-up,
// after the salt has been written.
TEST(WinZipAes, PasswordLengthLimit) {
    const Bytes plain = patternBytes(50, 1);
    const std::string password128(128, 'k');
    const Bytes entry = encrypt(plain, password128.c_str(), 3);
    ASSERT_EQ(entry.size(), 50u + 28u);
    EXPECT_TRUE(decrypt(entry, password128.c_str(), 3).ok);

    const std::string password129(129, 'k');
    DataBuffer written;
    OutputDataBuffer out(&written);
    StringBuffer pw(password129.c_str());
    RecordingLog log;
    EXPECT_FALSE(WinZipAes::encryptMemory(plain.data(), uint32_t(plain.size()), pw, 3, out, &log));
    ASSERT_EQ(log.errors().size(), 1u);
    EXPECT_EQ(log.errors()[0], kEncryptInit);
    EXPECT_EQ(written.getSize(), 16u) << "only the salt is written";
}

// A strength that is no strength at all writes nothing.
TEST(WinZipAes, EncryptRefusesBadStrength) {
    for (int32_t strength : {0, 4, 255, -3}) {
        DataBuffer written;
        OutputDataBuffer out(&written);
        StringBuffer pw("pw");
        RecordingLog log;
        const uint8_t byte = 1;
        EXPECT_FALSE(WinZipAes::encryptMemory(&byte, 1, pw, strength, out, &log)) << strength;
        ASSERT_EQ(log.errors().size(), 1u);
        EXPECT_EQ(log.errors()[0], kEncryptInit);
        EXPECT_EQ(written.getSize(), 0u);
    }
}

// 8097 bytes are read as 8096 + 1; the entry is 8097 + overhead bytes.
TEST(WinZipAes, EncryptSourceReadsSlicesOf8096) {
    const Bytes plain = patternBytes(8097, 5);
    RecordingSource source(plain.data(), uint32_t(plain.size()));
    DataBuffer entry;
    OutputDataBuffer out(&entry);
    StringBuffer pw("slices");
    uint32_t plaintextBytes = 0;
    ASSERT_TRUE(WinZipAes::encryptSource(source, pw, 1, out, nullptr, plaintextBytes));
    EXPECT_EQ(plaintextBytes, 8097u);
    EXPECT_EQ(source.asked, (std::vector<uint32_t>{8096, 8096}));
    EXPECT_EQ(source.delivered, (std::vector<uint32_t>{8096, 1}));
    ASSERT_EQ(entry.getSize(), 8097u + 20u);
    EXPECT_EQ(decrypt(bytesOf(entry), "slices", 1).plain, plain);
}

// encryptMemory over several slices leaves the caller's bytes alone and
// decrypts to them.
TEST(WinZipAes, EncryptMemoryLeavesInputUnchanged) {
    for (uint32_t length : {8096u, 8097u, 3u * 8096u + 17u}) {
        const Bytes plain = patternBytes(length, length);
        const Bytes copy = plain;
        const Bytes entry = encrypt(plain, "pw", 3);
        EXPECT_EQ(plain, copy);
        ASSERT_EQ(entry.size(), length + 28u);
        EXPECT_EQ(decrypt(entry, "pw", 3).plain, plain) << length;
    }
}

// Two entries encrypted back to back under one password get different salts
// (a repeated salt would repeat the keystream).
TEST(WinZipAes, SuccessiveEntriesGetDifferentSalts) {
    const Bytes plain = patternBytes(64, 2);
    const Bytes first = encrypt(plain, "same", 3);
    const Bytes second = encrypt(plain, "same", 3);
    EXPECT_NE(Bytes(first.begin(), first.begin() + 16), Bytes(second.begin(), second.begin() + 16));
    EXPECT_NE(first, second);
}

// An output that stops accepting bytes makes encryption fail.
TEST(WinZipAes, ShortWriteFails) {
    const Bytes plain = patternBytes(20000, 4);
    StringBuffer pw("pw");
    for (uint32_t limit : {5u, 16u + 2u + 100u, 16u + 2u + 20000u + 3u}) {
        ShortOutput out(limit);
        RecordingLog log;
        EXPECT_FALSE(WinZipAes::encryptMemory(plain.data(), uint32_t(plain.size()), pw, 3, out, &log)) << limit;
        ASSERT_EQ(log.errors().size(), 1u);
        EXPECT_EQ(log.errors()[0], kWriteFailed);
    }
}

// encryptFile: a missing file fails; a real file round-trips.
TEST(WinZipAes, EncryptFile) {
    zipcrypt_test::ScratchDir dir;
    const Bytes plain = patternBytes(10000, 11, true);
    zipcrypt_test::writeFileBytes(dir / "plain.txt", plain);
    StringBuffer pw("file");
    DataBuffer entry;
    OutputDataBuffer out(&entry);
    uint32_t plaintextBytes = 99;
    ASSERT_TRUE(WinZipAes::encryptFile((dir / "plain.txt").string().c_str(), pw, 2, out, nullptr, plaintextBytes));
    EXPECT_EQ(plaintextBytes, 10000u);
    EXPECT_EQ(decrypt(bytesOf(entry), "file", 2).plain, plain);

    DataBuffer none;
    OutputDataBuffer noneOut(&none);
    EXPECT_FALSE(WinZipAes::encryptFile((dir / "missing.txt").string().c_str(), pw, 2, noneOut, nullptr, plaintextBytes));
    EXPECT_EQ(plaintextBytes, 0u);
    EXPECT_EQ(none.getSize(), 0u);
}
