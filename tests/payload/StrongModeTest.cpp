// The strong password mode (payload/StrongFormat.h) through SimpleArchive and
// PayloadReader: round trips at every key length, a wrong password refused,
// random salt and IVs, a model of the classic reader refusing a strong
// payload with the right password, a changed setting found even with the
// right password, every single-byte change of a strong payload refused, and
// the verifier comparison looking at every byte.

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <memory>
#include <string>

#include "PayloadTestSupport.h"
#include "core/DataBuffer.h"
#include "core/StringBuffer.h"
#include "core/DigestMD5.h"
#include "crypto/Rijndael2.h"
#include "io/MemoryDataSource.h"
#include "payload/CheckRecord.h"
#include "payload/PayloadFormat.h"
#include "payload/PayloadReader.h"
#include "payload/SimpleArchive.h"
#include "payload/StrongCipher.h"
#include "payload/StrongFormat.h"

using namespace payload_test;
namespace fs = std::filesystem;

namespace {

constexpr uint32_t kMarkerBytes = 8;
constexpr uint32_t kTestIterations = 1000;  // the suite stays fast; the layout is the same
const char* const kPassword = "correct horse";
const int32_t kKeyLengths[] = {128, 192, 256};

struct Sample {
    std::string directory = "docs";
    std::string file = "docs/a.txt";
    Bytes content = compressibleText(3000);
    std::string storedFile = "b.bin";
    Bytes storedContent = pattern(40, 7);
};

uint32_t zlibCrc(const Bytes& bytes) {
    return uint32_t(crc32(crc32(0L, Z_NULL, 0), bytes.data(), uInt(bytes.size())));
}

bool writeCheck(PayloadWriter& w, const CheckRecord::Fields& fields) {
    return w.writeOtherEntry(CheckRecord::kCheckRecordType, CheckRecord::format(fields).c_str(), 0, 0);
}

// A strong payload as bvsfx lays it out: settings check, each entry with
// its check, the closing check, the end record. withChecks false leaves
// the check records out (which a strong payload must not).
Bytes strongPayload(int32_t keyBits, const Sample& s = Sample(), bool withChecks = true,
                    uint32_t iterations = kTestIterations) {
    MemoryPayload payload;
    PayloadWriter& w = payload.writer;
    EXPECT_TRUE(w.setStrongEncryption(kPassword, keyBits, iterations));
    EXPECT_TRUE(w.writeHeader() && w.addSetting("setupFilename", "setup.sh") && w.addSetting("unzipDir", "out"));
    Bytes table = payload.bytes();
    table.erase(table.begin(), table.begin() + kMarkerBytes);
    table.push_back(0);
    table.push_back(0);
    EXPECT_TRUE(w.endSettings());
    if (withChecks) {
        EXPECT_TRUE(writeCheck(w, {CheckRecord::Kind::Settings, zlibCrc(table), 0, 0}));
    }
    EXPECT_TRUE(w.writeDirectory(s.directory.c_str(), kBillionSecondsFileTime, 0x10));
    if (withChecks) {
        EXPECT_TRUE(writeCheck(w, {CheckRecord::Kind::Directory,
                                   CheckRecord::entryHeaderCrc(1, s.directory, kBillionSecondsFileTime, 0x10), 0, 0}));
    }
    const Bytes deflated = rawDeflate(s.content);
    EXPECT_TRUE(w.beginFile(s.file.c_str(), kBillionSecondsFileTime, 0x20) &&
                w.writeStoredChunk(s.content.data(), 100) &&
                w.writeCompressedChunk(deflated.data(), uint32_t(deflated.size())) && w.endFile());
    Bytes whole(s.content.begin(), s.content.begin() + 100);
    append(whole, s.content);
    if (withChecks) {
        EXPECT_TRUE(writeCheck(w, {CheckRecord::Kind::File,
                                   CheckRecord::entryHeaderCrc(2, s.file, kBillionSecondsFileTime, 0x20),
                                   zlibCrc(whole), whole.size()}));
    }
    EXPECT_TRUE(w.beginFile(s.storedFile.c_str(), kBillionSecondsFileTime, 0x20) &&
                w.writeStoredChunk(s.storedContent.data(), uint32_t(s.storedContent.size())) && w.endFile());
    if (withChecks) {
        EXPECT_TRUE(writeCheck(w, {CheckRecord::Kind::File,
                                   CheckRecord::entryHeaderCrc(2, s.storedFile, kBillionSecondsFileTime, 0x20),
                                   zlibCrc(s.storedContent), s.storedContent.size()}));
        EXPECT_TRUE(writeCheck(w, {CheckRecord::Kind::End, 0, 0, 3}));
    }
    EXPECT_TRUE(w.writeEnd());
    EXPECT_FALSE(w.failed());
    return payload.bytes();
}

Bytes expectedFirstFile(const Sample& s) {
    Bytes whole(s.content.begin(), s.content.begin() + 100);
    append(whole, s.content);
    return whole;
}

enum class Result { Extracted, NoPayload, WrongPassword, DamagedSettings, Damaged, OtherFailure };

// The installer's order: header, settings, password, settings check, then
// the entries.
Result extract(const Bytes& bytes, const char* password) {
    MemoryDataSource source(bytes.data(), uint32_t(bytes.size()));
    SimpleArchive archive;
    archive.setSource(&source);
    // No marker, header or settings table: the installer stops at start-up.
    if (!archive.findMarker() || !archive.readHeader() || !archive.readArgs()) return Result::NoPayload;
    if (!archive.isEncrypted()) return Result::OtherFailure;
    archive.usePassword(password);
    if (!archive.verifyPassword()) return Result::WrongPassword;
    if (!archive.checkSettings()) return Result::DamagedSettings;
    for (int guard = 0; guard < 100; ++guard) {
        bool finished = false;
        if (!archive.extractNext(finished, nullptr)) {
            return archive.getFailure() == SimpleArchive::Failure::Damaged ? Result::Damaged : Result::OtherFailure;
        }
        if (finished) return Result::Extracted;
    }
    return Result::OtherFailure;
}

// A model of the classic reader, written from the format's rules alone
// (what every earlier installer does): the key is MD5(password), extended
// by MD5(password + "2") for longer keys; the verifier record is u8 L, then
// L bytes that AES-CBC from a zero IV must decipher to exactly "qmfu"; a
// record of length 0 is refused. It stands on the source after readArgs.
bool classicReaderAcceptsPassword(SimpleArchive& archive, DataSource& source, const char* password) {
    const int32_t keyBits = archive.getKeyLength();
    DigestMD5 md5;
    uint8_t digest[16];
    StringBuffer text(password);
    md5.digestString(text, digest);
    DataBuffer key;
    key.append(digest, 16);
    if (keyBits != 128) {
        StringBuffer extended(password);
        extended.append("2");
        md5.digestString(extended, digest);
        key.append(digest, keyBits == 192 ? 8 : 16);
    }
    Rijndael2 cipher;
    cipher.setKeyLength(keyBits);
    cipher.setCbcMode();
    cipher.setKey(key);
    uint8_t length = 0;
    uint32_t got = 0;
    if (!source.readBytes(&length, 1, &got) || got != 1 || length == 0) return false;
    DataBuffer stored(length);
    if (!source.readBytes(stored.getData(), length, &got) || got != length) return false;
    stored.setSize(length);
    DataBuffer plain;
    cipher.decryptDataInto(stored, plain);
    return plain.getSize() == 4 && std::memcmp(plain.getData(), "qmfu", 4) == 0;
}

bool classicModelAccepts(const Bytes& bytes, const char* password) {
    MemoryDataSource source(bytes.data(), uint32_t(bytes.size()));
    SimpleArchive archive;
    archive.setSource(&source);
    EXPECT_TRUE(archive.findMarker() && archive.readHeader() && archive.readArgs());
    return classicReaderAcceptsPassword(archive, source, password);
}

void emptyFolder(const fs::path& folder) {
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator(folder, ignored)) fs::remove_all(entry.path(), ignored);
}

}  // namespace

TEST(StrongMode, RoundTripAtEveryKeyLength) {
    ScratchDirectory scratch;
    const Sample s;
    for (int32_t keyBits : kKeyLengths) {
        emptyFolder(scratch.path());
        EXPECT_EQ(extract(strongPayload(keyBits), kPassword), Result::Extracted) << keyBits;
        EXPECT_EQ(readWholeFile(s.file), expectedFirstFile(s)) << keyBits;
        EXPECT_EQ(readWholeFile(s.storedFile), s.storedContent) << keyBits;
        EXPECT_TRUE(fs::is_directory(s.directory)) << keyBits;
    }
}

TEST(StrongMode, KeyRecordHoldsModeAndIterations) {
    const Bytes bytes = strongPayload(192);
    MemoryDataSource source(bytes.data(), uint32_t(bytes.size()));
    PayloadReader reader(source);
    ASSERT_EQ(reader.open(), PayloadReader::OpenResult::Ok);
    ASSERT_TRUE(reader.skipPasswordCheck());
    EXPECT_TRUE(reader.isStrong());
    EXPECT_EQ(reader.keyBits(), 192);
    EXPECT_EQ(reader.strongKeyRecord().iterations, kTestIterations);
    EXPECT_EQ(reader.strongKeyRecord().derivation, StrongFormat::kDerivationPbkdf2HmacSha256);
}

TEST(StrongMode, WrongPasswordIsRefusedAndNothingCreated) {
    ScratchDirectory scratch;
    for (const char* wrong : {"correct hors", "correct horse ", "Correct horse", "x"}) {
        EXPECT_EQ(extract(strongPayload(256), wrong), Result::WrongPassword) << wrong;
    }
    EXPECT_TRUE(fs::is_empty(scratch.path()));
}

// The same inputs give other bytes each time (salt and IVs are random), of
// the same length; and the same name or chunk in one payload does not give
// the same ciphertext twice.
TEST(StrongMode, SaltAndIvsAreRandom) {
    const Bytes first = strongPayload(256);
    const Bytes second = strongPayload(256);
    ASSERT_EQ(first.size(), second.size());
    EXPECT_NE(first, second);
    // The key records differ in salt, verifier and settings code.
    const size_t recordAt = first.size() - second.size();  // 0: same layout
    (void)recordAt;
    MemoryDataSource a(first.data(), uint32_t(first.size()));
    MemoryDataSource b(second.data(), uint32_t(second.size()));
    PayloadReader readerA(a), readerB(b);
    ASSERT_EQ(readerA.open(), PayloadReader::OpenResult::Ok);
    ASSERT_EQ(readerB.open(), PayloadReader::OpenResult::Ok);
    ASSERT_TRUE(readerA.skipPasswordCheck() && readerB.skipPasswordCheck());
    EXPECT_NE(0, std::memcmp(readerA.strongKeyRecord().salt, readerB.strongKeyRecord().salt, StrongFormat::kSaltBytes));
    EXPECT_NE(0, std::memcmp(readerA.strongKeyRecord().verifier, readerB.strongKeyRecord().verifier,
                             StrongFormat::kVerifierBytes));
}

// A classic reader with the right password reaches the verifier's refusal
// ("Incorrect password.") on a strong payload, at every key length, and so
// never deciphers a name or a chunk. The same model accepts a classic
// payload under the same password: the model itself is sound.
TEST(StrongMode, ClassicReaderModelRefusesTheRightPassword) {
    for (int32_t keyBits : kKeyLengths) {
        EXPECT_FALSE(classicModelAccepts(strongPayload(keyBits), kPassword)) << keyBits;

        MemoryPayload classic;
        ASSERT_TRUE(classic.writer.setEncryption(kPassword, keyBits));
        ASSERT_TRUE(classic.writer.writeHeader() && classic.writer.endSettings() && classic.writer.writeEnd());
        EXPECT_TRUE(classicModelAccepts(classic.bytes(), kPassword)) << keyBits;
    }
}

// The installer's own classic path meets the same record: a classic
// payload's verifier of length 0 was always refused, and it still is
// unless a valid strong key record follows.
TEST(StrongMode, ZeroLengthVerifierWithoutKeyRecordIsRefused) {
    MemoryPayload payload;
    ASSERT_TRUE(payload.writer.setEncryption(kPassword, 256));
    ASSERT_TRUE(payload.writer.writeHeader());
    ASSERT_TRUE(payload.writer.writeRaw("\0\0\0", 3));  // terminator, verifier length 0
    Bytes bytes = payload.bytes();
    append(bytes, Bytes(StrongFormat::kRecordBytes, 0x41));
    EXPECT_EQ(extract(bytes, kPassword), Result::WrongPassword);
}

// A setting changed without the password (here the setup program's name)
// is damage even for the one who knows it: nothing is created.
TEST(StrongMode, ChangedSettingIsDamageWithTheRightPassword) {
    ScratchDirectory scratch;
    Bytes bytes = strongPayload(256);
    const std::string needle = "setup.sh";
    auto at = std::search(bytes.begin(), bytes.end(), needle.begin(), needle.end());
    ASSERT_NE(at, bytes.end());
    *(at + 6) = 'X';
    EXPECT_EQ(extract(bytes, kPassword), Result::DamagedSettings);
    EXPECT_TRUE(fs::is_empty(scratch.path()));
}

TEST(StrongMode, PayloadWithoutCheckRecordsIsDamage) {
    ScratchDirectory scratch;
    EXPECT_EQ(extract(strongPayload(256, Sample(), false), kPassword), Result::DamagedSettings);
    EXPECT_TRUE(fs::is_empty(scratch.path()));
}

// Every single-byte change of the payload (each byte XORed with 0xFF) is
// refused with the right password: no payload, a refused password or
// damage, and no file that differs from what was packed. (One iteration of
// the derivation: the layout is the same, and the sweep stays quick; the
// installer-level sweep is tests/e2e/fault_sweep.py --sweep strong.)
TEST(StrongMode, EverySingleByteChangeIsRefused) {
    ScratchDirectory scratch;
    const Sample s;
    const Bytes packed = strongPayload(128, s, true, 1);
    const Bytes firstFile = expectedFirstFile(s);
    uint32_t noPayload = 0, refusedPassword = 0, damagedSettings = 0, damaged = 0;
    for (size_t offset = 0; offset < packed.size(); ++offset) {
        {
            const uint8_t value = uint8_t(packed[offset] ^ 0xFF);
            Bytes changed = packed;
            changed[offset] = value;
            emptyFolder(scratch.path());
            const Result result = extract(changed, kPassword);
            if (result == Result::NoPayload) {
                ++noPayload;
            } else if (result == Result::WrongPassword) {
                ++refusedPassword;
            } else if (result == Result::DamagedSettings) {
                ++damagedSettings;
            } else if (result == Result::Damaged) {
                ++damaged;
            } else {
                ADD_FAILURE() << "payload byte " << offset << " set to " << int(value) << " was not refused";
            }
            if (fs::exists(s.file)) {
                EXPECT_EQ(readWholeFile(s.file), firstFile) << "byte " << offset;
            }
            if (fs::exists(s.storedFile)) {
                EXPECT_EQ(readWholeFile(s.storedFile), s.storedContent) << "byte " << offset;
            }
        }
    }
    std::printf("payload of %zu bytes: %u without a readable payload, %u refused as a wrong password, %u as "
                "damaged settings, %u as damage\n",
                packed.size(), noPayload, refusedPassword, damagedSettings, damaged);
    EXPECT_GT(damaged, 0u);
    EXPECT_GT(damagedSettings, 0u);
}

// The tools' reader: the names and chunks of a strong payload open with
// the password; a chunk moved into another's place does not.
TEST(StrongMode, PayloadReaderOpensNamesAndChunks) {
    const Sample s;
    const Bytes bytes = strongPayload(256, s);
    MemoryDataSource source(bytes.data(), uint32_t(bytes.size()));
    PayloadReader reader(source);
    ASSERT_EQ(reader.open(), PayloadReader::OpenResult::Ok);
    ASSERT_EQ(reader.checkPassword(kPassword), PayloadReader::PasswordResult::Ok);
    EXPECT_TRUE(reader.isStrong());
    EXPECT_TRUE(reader.settingsAuthentic());
    std::vector<std::string> names;
    Bytes firstFile;
    PayloadReader::EntryRecord record;
    while (reader.nextRecord(record) == PayloadReader::RecordResult::Entry) {
        EXPECT_TRUE(record.namePaddingValid) << record.name;
        names.push_back(record.name);
        if (record.type != PayloadFormat::kEntryFile) continue;
        PayloadReader::ChunkRecord chunk;
        DataBuffer stored;
        while (reader.nextChunk(chunk, stored) == PayloadReader::ChunkResult::Data) {
            DataBuffer plain;
            bool authentic = false;
            ASSERT_TRUE(reader.decipherChunk(chunk, stored, plain, authentic));
            EXPECT_TRUE(authentic);
            if (record.name == s.file && chunk.stored) append(firstFile, bytesOf(plain));
            // The same bytes under another sequence number fail.
            PayloadReader::ChunkRecord moved = chunk;
            ++moved.sequence;
            reader.decipherChunk(moved, stored, plain, authentic);
            EXPECT_FALSE(authentic);
        }
    }
    ASSERT_GE(names.size(), 3u);
    EXPECT_EQ(names[1], s.directory);
    EXPECT_EQ(firstFile, Bytes(s.content.begin(), s.content.begin() + 100));
}

// The verifier comparison the installer uses looks at every byte: the
// difference it reports is the OR of the differences of the first and the
// last byte, which a comparison that stops early could not give.
TEST(StrongMode, VerifierComparisonLooksAtEveryByte) {
    StrongCipher cipher;
    const uint8_t salt[StrongFormat::kSaltBytes] = {1, 2, 3};
    ASSERT_TRUE(cipher.derive(reinterpret_cast<const uint8_t*>("pw"), 2, salt, kTestIterations, 256));
    uint8_t stored[StrongFormat::kVerifierBytes];
    std::memcpy(stored, cipher.verifier(), sizeof stored);
    EXPECT_TRUE(cipher.verifierMatches(stored));
    stored[0] ^= 0x10;
    stored[StrongFormat::kVerifierBytes - 1] ^= 0x01;
    EXPECT_EQ(cipher.verifierDifference(stored), 0x11);
    EXPECT_FALSE(cipher.verifierMatches(stored));
    EXPECT_FALSE(cipher.derive(reinterpret_cast<const uint8_t*>("pw"), 2, salt, StrongFormat::kMaxIterations + 1, 256));
}
