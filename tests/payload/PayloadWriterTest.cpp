// PayloadWriter: the exact bytes it lays out, its limits, and its
// encryption checked against the openssl command.

#include "payload/PayloadWriter.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "PayloadTestSupport.h"
#include "payload/PayloadFormat.h"

using namespace payload_test;

namespace {

// The complete unencrypted payload of the format's worked example: one
// setting and one 3-byte stored file, byte for byte.
Bytes workedExampleBytes() {
    Bytes b = {0x48, 0x12, 0x90, 0xBF, 0x49, 0xFF, 0x91, 0xAA,  // marker
               0x00, 0x00, 0x00, 0x00, 0x00, 0x00};             // header: plain, code 0
    appendU16(b, 13);
    append(b, bytesOf(std::string("setupFilename")));
    appendU16(b, 9);
    append(b, bytesOf(std::string("setup.exe")));
    appendU16(b, 0);                                            // end of settings
    append(b, {0x9B, 0xE5, 0x27, 0x6D, 0x02, 0x05, 0x00});      // file record, name length 5
    append(b, bytesOf(std::string("a.txt")));
    append(b, {0x00, 0x80, 0x3E, 0xD5, 0xDE, 0xB1, 0x9D, 0x01});  // FILETIME 1970-01-01
    append(b, {0x20, 0x00, 0x00, 0x00});                        // attributes 0x20
    append(b, {0x03, 0x00, 0x00, 0x80, 0x68, 0x69, 0x0A});      // stored chunk, 3 bytes
    append(b, {0x00, 0x00, 0x00, 0x00});                        // end of the file's data
    append(b, {0x9B, 0xE5, 0x27, 0x6D, 0x00});                  // end record
    return b;
}

TEST(PayloadWriter, WritesTheWorkedExampleByteForByte) {
    MemoryPayload payload;
    PayloadWriter& w = payload.writer;
    const uint8_t data[] = {0x68, 0x69, 0x0A};
    ASSERT_TRUE(w.writeHeader());
    ASSERT_TRUE(w.addSetting("setupFilename", "setup.exe"));
    ASSERT_TRUE(w.endSettings());
    ASSERT_TRUE(w.beginFile("a.txt", kUnixEpochFileTime, 0x20));
    ASSERT_TRUE(w.writeStoredChunk(data, sizeof data));
    ASSERT_TRUE(w.endFile());
    ASSERT_TRUE(w.writeEnd());
    EXPECT_EQ(payload.bytes(), workedExampleBytes());
    EXPECT_EQ(w.getBytesWritten(), workedExampleBytes().size());
}

TEST(PayloadWriter, WritesToAStdioStream) {
    FILE* stream = std::tmpfile();
    ASSERT_NE(stream, nullptr);
    PayloadWriter w(stream);
    const uint8_t data[] = {0x68, 0x69, 0x0A};
    ASSERT_TRUE(w.writeHeader());
    ASSERT_TRUE(w.addSetting("setupFilename", "setup.exe"));
    ASSERT_TRUE(w.endSettings());
    ASSERT_TRUE(w.beginFile("a.txt", kUnixEpochFileTime, 0x20));
    ASSERT_TRUE(w.writeStoredChunk(data, sizeof data));
    ASSERT_TRUE(w.endFile());
    ASSERT_TRUE(w.writeEnd());

    std::rewind(stream);
    Bytes written;
    int c;
    while ((c = std::fgetc(stream)) != EOF) written.push_back(uint8_t(c));
    std::fclose(stream);
    EXPECT_EQ(written, workedExampleBytes());
}

// The reader takes 200 pairs without a terminator; fewer end with 00 00.
TEST(PayloadWriter, EndsTheSettingsTableWithATerminatorOnlyBelow200Pairs) {
    struct Case {
        int pairs;
        bool terminator;
    } cases[] = {{0, true}, {199, true}, {200, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pairs);
        MemoryPayload payload;
        ASSERT_TRUE(payload.writer.writeHeader());
        for (int i = 0; i < c.pairs; ++i) {
            ASSERT_TRUE(payload.writer.addSetting(("k" + std::to_string(i)).c_str(), "v"));
        }
        EXPECT_FALSE(c.pairs == 200 && payload.writer.addSetting("extra", "v"));
        ASSERT_TRUE(payload.writer.endSettings());
        Bytes b = payload.bytes();
        uint32_t pairBytes = 0;
        for (int i = 0; i < c.pairs; ++i) pairBytes += 2 + uint32_t(std::to_string(i).size() + 1) + 2 + 1;
        EXPECT_EQ(b.size(), 14u + pairBytes + (c.terminator ? 2u : 0u));
    }
}

TEST(PayloadWriter, RefusesWhatTheReaderCouldNotRead) {
    MemoryPayload payload;
    PayloadWriter& w = payload.writer;
    EXPECT_FALSE(w.beginFile("early.txt", 0, 0x20)) << "entries before the header";
    ASSERT_TRUE(w.writeHeader());
    EXPECT_FALSE(w.addSetting("", "empty name"));
    EXPECT_FALSE(w.addSetting(std::string(65536, 'n').c_str(), "name too long"));
    ASSERT_TRUE(w.endSettings());
    EXPECT_FALSE(w.writeDirectory("", 0, 0x10)) << "a zero name length reads as damage";
    ASSERT_TRUE(w.beginFile("f.bin", 0, 0x20));
    // A compressed chunk of 0 bytes would carry the length field 0, which ends the file.
    EXPECT_FALSE(w.writeCompressedChunk("", 0));
    EXPECT_EQ(w.maxChunkInputBytes(), 2048575u);
    Bytes tooLarge(2048576);
    EXPECT_FALSE(w.writeStoredChunk(tooLarge.data(), uint32_t(tooLarge.size())));
    EXPECT_FALSE(w.writeEnd()) << "the file is still open";
    ASSERT_TRUE(w.endFile());
    EXPECT_FALSE(w.writeOtherEntry(2, "not other", 0, 0));
    ASSERT_TRUE(w.writeEnd());
    EXPECT_FALSE(w.failed()) << "refusals do not spoil the payload";
}

TEST(PayloadWriter, ChunkLengthFieldCarriesTheStoredFlag) {
    MemoryPayload payload;
    PayloadWriter& w = payload.writer;
    ASSERT_TRUE(w.writeHeader());
    ASSERT_TRUE(w.endSettings());
    ASSERT_TRUE(w.beginFile("f", 0, 0x20));
    const size_t chunkStart = payload.bytes().size();
    ASSERT_TRUE(w.writeStoredChunk(nullptr, 0));
    const Bytes deflated = rawDeflate(compressibleText(1000));
    ASSERT_TRUE(w.writeCompressedChunk(deflated.data(), uint32_t(deflated.size())));
    Bytes b = payload.bytes();
    Bytes expected;
    appendU32(expected, 0x80000000u);  // stored, no data: not the end of the file
    appendU32(expected, uint32_t(deflated.size()));
    append(expected, deflated);
    EXPECT_EQ(Bytes(b.begin() + long(chunkStart), b.end()), expected);
}

TEST(PayloadWriter, EncryptionNeedsAPasswordAndAKnownKeyLength) {
    MemoryPayload payload;
    EXPECT_FALSE(payload.writer.setEncryption("", 128));
    EXPECT_FALSE(payload.writer.setEncryption("pw", 64));
    EXPECT_FALSE(payload.writer.setEncryption("pw", 512));
    EXPECT_TRUE(payload.writer.setEncryption("pw", 192));
    ASSERT_TRUE(payload.writer.writeHeader());
    EXPECT_FALSE(payload.writer.setEncryption("pw", 128)) << "too late after the header";
    Bytes b = payload.bytes();
    ASSERT_EQ(b.size(), 14u);
    EXPECT_EQ(b[12], 1) << "encryption flag";
    EXPECT_EQ(b[13], 1) << "key length code 1 = 192 bits";
    EXPECT_EQ(payload.writer.maxChunkInputBytes(), 2048559u) << "padding must still fit";
}

// Chunks are independent CBC messages from a zero IV: the same plaintext
// gives the same ciphertext in two chunks.
TEST(PayloadWriter, EnciphersEveryChunkAsAnIndependentMessage) {
    MemoryPayload payload;
    PayloadWriter& w = payload.writer;
    ASSERT_TRUE(w.setEncryption("secret", 256));
    ASSERT_TRUE(w.writeHeader());
    ASSERT_TRUE(w.endSettings());
    ASSERT_TRUE(w.beginFile("f", 0, 0x20));
    const size_t firstChunk = payload.bytes().size();
    const Bytes plain = pattern(40, 1);
    ASSERT_TRUE(w.writeStoredChunk(plain.data(), uint32_t(plain.size())));
    const size_t secondChunk = payload.bytes().size();
    ASSERT_TRUE(w.writeStoredChunk(plain.data(), uint32_t(plain.size())));
    Bytes b = payload.bytes();
    ASSERT_EQ(secondChunk - firstChunk, 4u + 48u) << "40 bytes pad to 48";
    EXPECT_EQ(Bytes(b.begin() + long(firstChunk), b.begin() + long(secondChunk)),
              Bytes(b.begin() + long(secondChunk), b.end()));
    EXPECT_EQ(b[firstChunk + 3], 0x80) << "stored flag";
    EXPECT_EQ(b[firstChunk], 48) << "length counts the enciphered bytes";
}

#if !defined(_WIN32)

const char* const kInstallOpenssl =
    "the openssl command is missing: install openssl (Debian package \"openssl\")";

std::string hex(const Bytes& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (uint8_t b : bytes) {
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

// openssl enc -aes-NNN-cbc with the given key and a zero IV over plaintext
// (PKCS#7 padding, openssl's default).
bool opensslEncrypt(const Bytes& key, const Bytes& plaintext, Bytes& ciphertext) {
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("brivane-payload-openssl-" + std::to_string(std::rand()));
    std::filesystem::create_directories(dir);
    writeWholeFile(dir / "in", plaintext);
    const std::string command = "openssl enc -aes-" + std::to_string(key.size() * 8) + "-cbc -K " +
                                hex(key) + " -iv 00000000000000000000000000000000 -in '" +
                                (dir / "in").string() + "' -out '" + (dir / "out").string() + "'";
    const bool ok = std::system(command.c_str()) == 0;
    ciphertext = readWholeFile(dir / "out");
    std::filesystem::remove_all(dir);
    return ok;
}

// The MD5 digests the keys are made of, from md5sum.
const Bytes kMd5Secret = {0x5e, 0xbe, 0x22, 0x94, 0xec, 0xd0, 0xe0, 0xf0,
                          0x8e, 0xab, 0x76, 0x90, 0xd2, 0xa6, 0xee, 0x69};  // "secret"
const Bytes kMd5Secret2 = {0xe5, 0x4c, 0xfb, 0x37, 0x14, 0xf7, 0x6c, 0xed,
                           0xd4, 0xb2, 0x78, 0x89, 0xe1, 0xf6, 0xa1, 0x74};  // "secret2"

// The verifier, a name and a chunk of an encrypted payload are exactly what
// openssl makes of their plaintext under the MD5-derived key.
TEST(PayloadWriterOpenssl, EncryptedFieldsMatchOpensslUnderTheDerivedKey) {
    ASSERT_EQ(std::system("openssl version > /dev/null 2>&1"), 0) << kInstallOpenssl;
    struct Case {
        int keyBits;
        Bytes key;
    } cases[] = {
        {128, kMd5Secret},
        {192, [] { Bytes k = kMd5Secret; k.insert(k.end(), kMd5Secret2.begin(), kMd5Secret2.begin() + 8); return k; }()},
        {256, [] { Bytes k = kMd5Secret; k.insert(k.end(), kMd5Secret2.begin(), kMd5Secret2.end()); return k; }()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.keyBits);
        MemoryPayload payload;
        PayloadWriter& w = payload.writer;
        ASSERT_TRUE(w.setEncryption("secret", c.keyBits));
        ASSERT_TRUE(w.writeHeader());
        const size_t verifierAt = payload.bytes().size() + 2;  // behind the settings terminator
        ASSERT_TRUE(w.endSettings());
        ASSERT_TRUE(w.beginFile("dir/name.txt", 0, 0x20));
        const Bytes data = pattern(33, 7);
        const size_t chunkAt = payload.bytes().size();
        ASSERT_TRUE(w.writeStoredChunk(data.data(), uint32_t(data.size())));
        const Bytes b = payload.bytes();

        Bytes expectedVerifier, expectedName, expectedChunk;
        ASSERT_TRUE(opensslEncrypt(c.key, bytesOf(std::string("qmfu")), expectedVerifier)) << kInstallOpenssl;
        ASSERT_TRUE(opensslEncrypt(c.key, bytesOf(std::string("dir/name.txt")), expectedName));
        ASSERT_TRUE(opensslEncrypt(c.key, data, expectedChunk));

        // Verifier record: u8 length, ciphertext.
        ASSERT_EQ(b[verifierAt], expectedVerifier.size());
        EXPECT_EQ(Bytes(b.begin() + long(verifierAt) + 1, b.begin() + long(verifierAt) + 1 + long(expectedVerifier.size())),
                  expectedVerifier);
        // Entry record: magic, type, u16 name length, enciphered name.
        const size_t recordAt = verifierAt + 1 + expectedVerifier.size();
        ASSERT_EQ(b[recordAt + 5] | (b[recordAt + 6] << 8), int(expectedName.size()));
        EXPECT_EQ(Bytes(b.begin() + long(recordAt) + 7, b.begin() + long(recordAt) + 7 + long(expectedName.size())),
                  expectedName);
        // Chunk: stored flag with the enciphered length, ciphertext.
        Bytes expectedField;
        appendU32(expectedField, 0x80000000u | uint32_t(expectedChunk.size()));
        append(expectedField, expectedChunk);
        EXPECT_EQ(Bytes(b.begin() + long(chunkAt), b.end()), expectedField);
    }
}

#endif  // !_WIN32

}  // namespace
