// ZipPipeline: every row of the main stage, the two decryption stages, the
// failure messages, and the scratch files (none may be left behind: each
// test runs with the temporary folder pointed at an empty folder of its
// own, checked at the end). Outputs are checked with zlib's inflate, the
// cipher routines' inverses, WinZip AES decryption, and for the
// password-protected deflate also with Info-ZIP's unzip.

#include <gtest/gtest.h>

#include <zlib.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "compress/ZipPipeline.h"
#include "core/DataBuffer.h"
#include "crypto/CipherRoutines.h"
#include "crypto/PwdProtect.h"
#include "crypto/WinZipAes.h"
#include "io/MemoryDataSource.h"
#include "io/OutputDataBuffer.h"
#include "tests/compress/CompressTestSupport.h"

using namespace compress_test;

namespace {

constexpr uint32_t kUntouched = 0xDEADBEEF;

uint32_t zlibCrc(const Bytes& data) {
    return static_cast<uint32_t>(crc32(0L, data.empty() ? Z_NULL : data.data(), static_cast<uInt>(data.size())));
}

Bytes textData(size_t size) {
    static const char kWords[] = "entry body for the zip pipeline, with some repeats; ";
    Bytes data(size);
    for (size_t i = 0; i < size; ++i) data[i] = static_cast<uint8_t>(kWords[(i * 3 / 2) % (sizeof kWords - 1)] ^ (i % 97 == 0));
    return data;
}

Bytes bytesOfBuffer(const DataBuffer& buffer) {
    return Bytes(buffer.getData(), buffer.getData() + buffer.getSize());
}

void setTempEnvironment(const char* value) {
#ifdef _WIN32
    _putenv_s("TMP", value ? value : "");
    _putenv_s("TEMP", value ? value : "");
#else
    if (value) setenv("TMPDIR", value, 1);
    else unsetenv("TMPDIR");
#endif
}

// The whole-file cipher's output for `plain`, through real files.
Bytes cipherFileBytes(bool encrypt, int32_t method, int32_t keyBits, const char* password, const Bytes& input,
                      const ScratchFolder& folder) {
    std::string in = folder.file("cipher_in.bin");
    std::string out = folder.file("cipher_out.bin");
    writeWholeFile(in, input);
    bool ok = encrypt ? cipherEncryptFile(method, keyBits, password, in.c_str(), out.c_str(), nullptr)
                      : cipherDecryptFile(method, keyBits, password, in.c_str(), out.c_str(), nullptr);
    Bytes result;
    if (ok) readWholeFile(out, result);
    std::remove(in.c_str());
    std::remove(out.c_str());
    EXPECT_TRUE(ok) << (encrypt ? "cipherEncryptFile" : "cipherDecryptFile") << " failed";
    return result;
}

Bytes decryptWinZip(const Bytes& entry, const char* password, int32_t strength) {
    StringBuffer pw(password);
    DataBuffer out;
    bool badPassword = false;
    bool badAuth = false;
    bool ok = WinZipAes::decryptEntry(entry.data(), static_cast<uint32_t>(entry.size()), pw, strength, out, nullptr,
                                      badPassword, badAuth);
    EXPECT_TRUE(ok) << "WinZip AES entry does not decrypt";
    return bytesOfBuffer(out);
}

Bytes encryptWinZip(const Bytes& plain, const char* password, int32_t strength) {
    StringBuffer pw(password);
    DataBuffer out;
    OutputDataBuffer output(&out);
    EXPECT_TRUE(WinZipAes::encryptMemory(plain.data(), static_cast<uint32_t>(plain.size()), pw, strength, output,
                                         nullptr));
    return bytesOfBuffer(out);
}

// Deciphers a traditionally encrypted entry body (12-byte header first).
Bytes decryptPwd(const Bytes& entry, const char* password, uint32_t checkCrc) {
    PwdProtect decryptor;
    decryptor.setPassword(password);
    decryptor.initKeys();
    EXPECT_GE(entry.size(), 12u);
    if (entry.size() < 12) return {};
    EXPECT_TRUE(decryptor.checkHeader(entry.data(), 0, checkCrc, false)) << "header check fails";
    Bytes body(entry.begin() + 12, entry.end());
    decryptor.decryptBytes(body.data(), static_cast<uint32_t>(body.size()));
    return body;
}

// Encrypts `body` traditionally with a header made from headerCheck.
Bytes encryptPwd(const Bytes& body, const char* password, uint32_t headerCheck) {
    PwdProtect encryptor;
    encryptor.setPassword(password);
    uint8_t header[12];
    encryptor.makeHeaderSeeded(headerCheck, 12345u, header);  // fixed header: a wrong password must not match by chance
    Bytes entry(header, header + 12);
    Bytes tail = body;
    encryptor.encryptBytes(tail.data(), static_cast<uint32_t>(tail.size()));
    entry.insert(entry.end(), tail.begin(), tail.end());
    return entry;
}

Bytes inflated(const Bytes& stream) {
    ZlibOutcome outcome = zlibInflateRaw(stream);
    EXPECT_TRUE(outcome.valid) << "not a whole deflate stream: " << outcome.message;
    return outcome.data;
}

class ZipPipelineTest : public ::testing::Test {
protected:
    ZipPipelineTest() : m_temp("zp_temp"), m_work("zp_work") {}

    void SetUp() override {
        const char* previous = std::getenv(kTempVariable);
        m_hadTemp = previous != nullptr;
        if (m_hadTemp) m_previousTemp = previous;
        setTempEnvironment(m_temp.path().string().c_str());
    }
    void TearDown() override {
        setTempEnvironment(m_hadTemp ? m_previousTemp.c_str() : nullptr);
        EXPECT_TRUE(m_temp.entries().empty()) << "scratch files left behind: " << m_temp.entries().front();
    }

    // A file in the work folder holding `data`.
    std::string fileWith(const std::string& name, const Bytes& data) {
        std::string path = m_work.file(name);
        EXPECT_TRUE(writeWholeFile(path, data));
        return path;
    }

#ifdef _WIN32
    static constexpr const char* kTempVariable = "TMP";
#else
    static constexpr const char* kTempVariable = "TMPDIR";
#endif
    ScratchFolder m_temp;
    ScratchFolder m_work;
    bool m_hadTemp = false;
    std::string m_previousTemp;
};

// How a test hands its source to the pipeline.
enum class SourceKind { Memory, File, Stream };
const SourceKind kAllSources[] = {SourceKind::Memory, SourceKind::File, SourceKind::Stream};
const char* sourceName(SourceKind kind) {
    return kind == SourceKind::Memory ? "memory" : kind == SourceKind::File ? "file" : "stream";
}

}  // namespace

TEST_F(ZipPipelineTest, InflateRowFromEverySource) {
    Bytes data = textData(300000);
    Bytes stream = zlibDeflateRaw(data, 6);
    std::string path = fileWith("entry.deflate", stream);
    for (SourceKind kind : kAllSources) {
        MemoryDataSource streamSource(stream.data(), static_cast<uint32_t>(stream.size()));
        ZipPipeline pipeline;
        LimitedOutput output;
        pipeline.setOutput(&output);
        if (kind == SourceKind::Memory) pipeline.setSourceData(stream.data(), static_cast<uint32_t>(stream.size()));
        if (kind == SourceKind::File) pipeline.setSourceFile(path.c_str());
        if (kind == SourceKind::Stream) pipeline.setSourceStream(&streamSource);
        pipeline.setSourceCompressed(true);
        pipeline.encryptMethod = kZipEncryptWinZipAes;  // any method: inflating ignores it
        uint32_t crc = kUntouched;
        EXPECT_TRUE(pipeline.run(crc, nullptr)) << sourceName(kind);
        EXPECT_TRUE(output.bytes == data) << sourceName(kind);
        EXPECT_EQ(crc, kUntouched) << sourceName(kind);
    }
    ZipPipeline empty;
    LimitedOutput output;
    empty.setOutput(&output);
    empty.setSourceCompressed(true);
    uint32_t crc = kUntouched;
    EXPECT_TRUE(empty.run(crc, nullptr));
    EXPECT_TRUE(output.bytes.empty());
}

TEST_F(ZipPipelineTest, CopyRowsReportCrcAndSize) {
    Bytes data = textData(150001);
    std::string path = fileWith("entry.bin", data);
    for (bool sourceCompressed : {false, true}) {
        for (SourceKind kind : kAllSources) {
            MemoryDataSource streamSource(data.data(), static_cast<uint32_t>(data.size()));
            ZipPipeline pipeline;
            LimitedOutput output;
            pipeline.setOutput(&output);
            if (kind == SourceKind::Memory) pipeline.setSourceData(data.data(), static_cast<uint32_t>(data.size()));
            if (kind == SourceKind::File) pipeline.setSourceFile(path.c_str());
            if (kind == SourceKind::Stream) pipeline.setSourceStream(&streamSource);
            pipeline.setSourceCompressed(sourceCompressed);
            pipeline.setCompressOutput(sourceCompressed);  // (no, no, 0) and (yes, yes, 0)
            uint32_t crc = 0;
            EXPECT_TRUE(pipeline.run(crc, nullptr)) << sourceName(kind);
            EXPECT_TRUE(output.bytes == data) << sourceName(kind);
            EXPECT_EQ(crc, zlibCrc(data)) << sourceName(kind);
            EXPECT_EQ(pipeline.sizeIn(), data.size()) << sourceName(kind);
            EXPECT_EQ(pipeline.sizeOut(), data.size()) << sourceName(kind);
        }
    }
}

TEST_F(ZipPipelineTest, DeflateRowFromEverySource) {
    Bytes data = textData(222222);
    std::string path = fileWith("entry.bin", data);
    for (SourceKind kind : kAllSources) {
        MemoryDataSource streamSource(data.data(), static_cast<uint32_t>(data.size()));
        ZipPipeline pipeline;
        LimitedOutput output;
        pipeline.setOutput(&output);
        if (kind == SourceKind::Memory) pipeline.setSourceData(data.data(), static_cast<uint32_t>(data.size()));
        if (kind == SourceKind::File) pipeline.setSourceFile(path.c_str());
        if (kind == SourceKind::Stream) pipeline.setSourceStream(&streamSource);
        pipeline.setCompressOutput(true);
        pipeline.setLevel(9);
        uint32_t crc = 0;
        EXPECT_TRUE(pipeline.run(crc, nullptr)) << sourceName(kind);
        EXPECT_TRUE(inflated(output.bytes) == data) << sourceName(kind);
        EXPECT_TRUE(output.bytes == zlibDeflateRaw(data, 9)) << sourceName(kind);
        EXPECT_EQ(crc, zlibCrc(data));
        EXPECT_EQ(pipeline.sizeIn(), data.size());
        EXPECT_EQ(pipeline.sizeOut(), output.bytes.size());
    }
}

TEST_F(ZipPipelineTest, PasswordProtectedDeflateRow) {
    Bytes data = textData(90000);
    std::string path = fileWith("entry.bin", data);
    for (SourceKind kind : kAllSources) {
        MemoryDataSource streamSource(data.data(), static_cast<uint32_t>(data.size()));
        ZipPipeline pipeline;
        LimitedOutput output;
        pipeline.setOutput(&output);
        if (kind == SourceKind::Memory) pipeline.setSourceData(data.data(), static_cast<uint32_t>(data.size()));
        if (kind == SourceKind::File) pipeline.setSourceFile(path.c_str());
        if (kind == SourceKind::Stream) pipeline.setSourceStream(&streamSource);
        pipeline.setCompressOutput(true);
        pipeline.pwdProtect = 1;
        pipeline.password.setString("s3cret");
        uint32_t crc = 0;
        EXPECT_TRUE(pipeline.run(crc, nullptr)) << sourceName(kind);
        EXPECT_EQ(crc, zlibCrc(data));
        EXPECT_EQ(pipeline.checkCrc, zlibCrc(data));
        EXPECT_EQ(pipeline.sizeOut(), output.bytes.size());
        EXPECT_TRUE(inflated(decryptPwd(output.bytes, "s3cret", zlibCrc(data))) == data) << sourceName(kind);
    }
}

#ifndef _WIN32
TEST_F(ZipPipelineTest, PasswordProtectedDeflateExtractsWithInfoZipUnzip) {
    // The pipeline's output as the body of a one-entry zip archive, which
    // Info-ZIP's unzip then decrypts, inflates and CRC-checks.
    Bytes data = textData(120000);
    ZipPipeline pipeline;
    LimitedOutput output;
    pipeline.setOutput(&output);
    pipeline.setSourceData(data.data(), static_cast<uint32_t>(data.size()));
    pipeline.setCompressOutput(true);
    pipeline.pwdProtect = 1;
    pipeline.password.setString("unzip me");
    uint32_t crc = 0;
    ASSERT_TRUE(pipeline.run(crc, nullptr));

    const std::string name = "entry.txt";
    auto le16 = [](Bytes& b, uint32_t v) { b.push_back(v & 0xFF); b.push_back((v >> 8) & 0xFF); };
    auto le32 = [&](Bytes& b, uint32_t v) { le16(b, v & 0xFFFF); le16(b, v >> 16); };
    Bytes zip;
    le32(zip, 0x04034B50);  // local header
    le16(zip, 20);          // version needed
    le16(zip, 1);           // flags: encrypted
    le16(zip, 8);           // deflate
    le16(zip, 0);           // time
    le16(zip, 0x21);        // date: 1980-01-01
    le32(zip, crc);
    le32(zip, static_cast<uint32_t>(output.bytes.size()));
    le32(zip, static_cast<uint32_t>(data.size()));
    le16(zip, static_cast<uint32_t>(name.size()));
    le16(zip, 0);
    zip.insert(zip.end(), name.begin(), name.end());
    zip.insert(zip.end(), output.bytes.begin(), output.bytes.end());
    uint32_t centralOffset = static_cast<uint32_t>(zip.size());
    le32(zip, 0x02014B50);  // central header
    le16(zip, 20);
    le16(zip, 20);
    le16(zip, 1);
    le16(zip, 8);
    le16(zip, 0);
    le16(zip, 0x21);
    le32(zip, crc);
    le32(zip, static_cast<uint32_t>(output.bytes.size()));
    le32(zip, static_cast<uint32_t>(data.size()));
    le16(zip, static_cast<uint32_t>(name.size()));
    le16(zip, 0);
    le16(zip, 0);
    le16(zip, 0);
    le16(zip, 0);
    le32(zip, 0);
    le32(zip, 0);  // local header offset
    zip.insert(zip.end(), name.begin(), name.end());
    uint32_t centralSize = static_cast<uint32_t>(zip.size()) - centralOffset;
    le32(zip, 0x06054B50);  // end of central directory
    le16(zip, 0);
    le16(zip, 0);
    le16(zip, 1);
    le16(zip, 1);
    le32(zip, centralSize);
    le32(zip, centralOffset);
    le16(zip, 0);
    std::string zipPath = fileWith("protected.zip", zip);

    std::string command = "unzip -p -P 'unzip me' '" + zipPath + "' " + name;
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    Bytes extracted;
    uint8_t chunk[65536];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, pipe)) > 0) extracted.insert(extracted.end(), chunk, chunk + got);
    int status = pclose(pipe);
    ASSERT_EQ(status, 0) << "unzip failed or is missing: install the package unzip";
    EXPECT_TRUE(extracted == data);
}
#endif

TEST_F(ZipPipelineTest, WinZipAesRows) {
    Bytes data = textData(20000);
    Bytes deflated = zlibDeflateRaw(data, 6);
    struct Strength {
        int32_t keyBits;
        int32_t strength;
    };
    for (Strength s : {Strength{128, 1}, Strength{192, 2}, Strength{256, 3}}) {
        // (no, no, 4): the entry data of the plain source.
        {
            ZipPipeline pipeline;
            LimitedOutput output;
            pipeline.setOutput(&output);
            pipeline.setSourceData(data.data(), static_cast<uint32_t>(data.size()));
            pipeline.encryptMethod = kZipEncryptWinZipAes;
            pipeline.keyBits = s.keyBits;
            pipeline.password.setString("aes pw");
            uint32_t crc = kUntouched;
            EXPECT_TRUE(pipeline.run(crc, nullptr));
            EXPECT_EQ(crc, 0u);
            EXPECT_EQ(pipeline.sizeIn(), data.size());
            EXPECT_EQ(pipeline.sizeOut(), data.size() + WinZipAes::overhead(s.strength));
            EXPECT_EQ(output.bytes.size(), pipeline.sizeOut());
            EXPECT_TRUE(decryptWinZip(output.bytes, "aes pw", s.strength) == data);
        }
        // (no, yes, 4): deflated first (through a scratch file), then encrypted.
        {
            ZipPipeline pipeline;
            LimitedOutput output;
            pipeline.setOutput(&output);
            pipeline.setSourceData(data.data(), static_cast<uint32_t>(data.size()));
            pipeline.setCompressOutput(true);
            pipeline.encryptMethod = kZipEncryptWinZipAes;
            pipeline.keyBits = s.keyBits;
            pipeline.password.setString("aes pw");
            uint32_t crc = kUntouched;
            EXPECT_TRUE(pipeline.run(crc, nullptr));
            EXPECT_EQ(crc, 0u);
            EXPECT_TRUE(inflated(decryptWinZip(output.bytes, "aes pw", s.strength)) == data);
        }
        // (yes, yes, 4): the compressed source encrypted as it is.
        {
            ZipPipeline pipeline;
            LimitedOutput output;
            pipeline.setOutput(&output);
            pipeline.setSourceData(deflated.data(), static_cast<uint32_t>(deflated.size()));
            pipeline.setSourceCompressed(true);
            pipeline.setCompressOutput(true);
            pipeline.encryptMethod = kZipEncryptWinZipAes;
            pipeline.keyBits = s.keyBits;
            pipeline.password.setString("aes pw");
            uint32_t crc = kUntouched;
            EXPECT_TRUE(pipeline.run(crc, nullptr));
            EXPECT_EQ(crc, 0u);
            EXPECT_TRUE(decryptWinZip(output.bytes, "aes pw", s.strength) == deflated);
        }
    }
}

TEST_F(ZipPipelineTest, CipherRows) {
    Bytes data = textData(50000);
    Bytes deflated = zlibDeflateRaw(data, 6);
    std::string path = fileWith("entry.bin", data);
    const char* password = "cipher pw";
    for (int32_t method : {kZipEncryptAes, kZipEncryptTwofish, kZipEncryptBlowfish}) {
        SCOPED_TRACE("method " + std::to_string(method));
        auto makePipeline = [&](ZipPipeline& pipeline, LimitedOutput& output) {
            pipeline.setOutput(&output);
            pipeline.encryptMethod = method;
            pipeline.keyBits = 256;
            pipeline.password.setString(password);
        };
        // (no, no, m) from memory: buffer cipher, then copy with CRC.
        {
            ZipPipeline pipeline;
            LimitedOutput output;
            makePipeline(pipeline, output);
            pipeline.setSourceData(data.data(), static_cast<uint32_t>(data.size()));
            uint32_t crc = 0;
            EXPECT_TRUE(pipeline.run(crc, nullptr));
            EXPECT_EQ(crc, zlibCrc(output.bytes));
            DataBuffer plain;
            EXPECT_TRUE(cipherDecryptBuffer(method, 256, password, output.bytes.data(),
                                            static_cast<uint32_t>(output.bytes.size()), plain));
            EXPECT_TRUE(bytesOfBuffer(plain) == data);
        }
        // (no, no, m) from a file: file cipher into "bvAes.dat", then copy.
        {
            ZipPipeline pipeline;
            LimitedOutput output;
            makePipeline(pipeline, output);
            pipeline.setSourceFile(path.c_str());
            uint32_t crc = 0;
            EXPECT_TRUE(pipeline.run(crc, nullptr));
            EXPECT_TRUE(cipherFileBytes(false, method, 256, password, output.bytes, m_work) == data);
        }
        // (no, yes, m): deflate to scratch, encrypt that file, deflate.
        {
            ZipPipeline pipeline;
            LimitedOutput output;
            makePipeline(pipeline, output);
            pipeline.setSourceData(data.data(), static_cast<uint32_t>(data.size()));
            pipeline.setCompressOutput(true);
            uint32_t crc = 0;
            EXPECT_TRUE(pipeline.run(crc, nullptr));
            Bytes cipher = inflated(output.bytes);
            EXPECT_EQ(crc, zlibCrc(cipher));
            EXPECT_TRUE(inflated(cipherFileBytes(false, method, 256, password, cipher, m_work)) == data);
        }
        // (yes, yes, m): the compressed source encrypted in memory, deflated.
        {
            ZipPipeline pipeline;
            LimitedOutput output;
            makePipeline(pipeline, output);
            pipeline.setSourceData(deflated.data(), static_cast<uint32_t>(deflated.size()));
            pipeline.setSourceCompressed(true);
            pipeline.setCompressOutput(true);
            uint32_t crc = 0;
            EXPECT_TRUE(pipeline.run(crc, nullptr));
            Bytes cipher = inflated(output.bytes);
            DataBuffer plain;
            EXPECT_TRUE(cipherDecryptBuffer(method, 256, password, cipher.data(), static_cast<uint32_t>(cipher.size()),
                                            plain));
            EXPECT_TRUE(bytesOfBuffer(plain) == deflated);
        }
    }
}

TEST_F(ZipPipelineTest, StageARemovesWinZipAes) {
    Bytes data = textData(40000);
    Bytes entry = encryptWinZip(zlibDeflateRaw(data, 6), "outer", 3);
    for (const char* password : {"outer", "wrong"}) {
        ZipPipeline pipeline;
        LimitedOutput output;
        RecordingLog log;
        pipeline.setOutput(&output);
        pipeline.setSourceData(entry.data(), static_cast<uint32_t>(entry.size()));
        pipeline.setSourceEncryption(kZipEncryptWinZipAes, 256, password);
        pipeline.setSourceEncrypted(true);
        pipeline.setSourceCompressed(true);
        uint32_t crc = 0;
        bool right = std::string(password) == "outer";
        EXPECT_EQ(pipeline.run(crc, &log), right) << password;
        if (right) {
            EXPECT_TRUE(output.bytes == data);
        } else {
            EXPECT_TRUE(log.has("E:Invalid password for WinZip AES decryption")) << log.all();
            EXPECT_TRUE(output.bytes.empty());
        }
    }
}

TEST_F(ZipPipelineTest, StageARemovesCipherLayers) {
    // Layers: outer deflate, whole-file cipher, inner deflate.
    Bytes data = textData(60000);
    for (int32_t method : {kZipEncryptAes, kZipEncryptTwofish, kZipEncryptBlowfish}) {
        SCOPED_TRACE("method " + std::to_string(method));
        Bytes cipher = cipherFileBytes(true, method, 128, "layers", zlibDeflateRaw(data, 6), m_work);
        Bytes outer = zlibDeflateRaw(cipher, 1);
        ZipPipeline pipeline;
        LimitedOutput output;
        pipeline.setOutput(&output);
        pipeline.setSourceData(outer.data(), static_cast<uint32_t>(outer.size()));
        pipeline.setSourceEncryption(method, 128, "layers");
        pipeline.setSourceEncrypted(true);
        pipeline.setSourceCompressed(true);
        uint32_t crc = 0;
        EXPECT_TRUE(pipeline.run(crc, nullptr));
        EXPECT_TRUE(output.bytes == data);
        EXPECT_EQ(crc, zlibCrc(data));  // the main stage copies the plain data
    }
    // Outer layer not a deflate stream: the first scratch inflate fails.
    Bytes garbage = textData(1000);
    ZipPipeline pipeline;
    LimitedOutput output;
    RecordingLog log;
    pipeline.setOutput(&output);
    pipeline.setSourceData(garbage.data(), static_cast<uint32_t>(garbage.size()));
    pipeline.setSourceEncryption(kZipEncryptAes, 128, "layers");
    pipeline.setSourceEncrypted(true);
    uint32_t crc = 0;
    EXPECT_FALSE(pipeline.run(crc, &log));
    EXPECT_TRUE(log.has("E:Failed to inflate to temp for AES decryption")) << log.all();
}

TEST_F(ZipPipelineTest, StageBRemovesTheTraditionalEncryption) {
    Bytes data = textData(80000);
    Bytes deflated = zlibDeflateRaw(data, 6);
    uint32_t crc32OfData = zlibCrc(data);
    Bytes byCrc = encryptPwd(deflated, "old", crc32OfData);
    // With the time as check: header byte 11 carries bits 24-31 of the check
    // value, compared with bits 8-15 of the time.
    uint32_t checkTime = 0x00005A00;
    Bytes byTime = encryptPwd(deflated, "old", 0x5A000000);

    struct Case {
        const char* label;
        const Bytes* entry;
        bool useTime;
        bool fromStream;
    };
    for (const Case& c : {Case{"check by CRC", &byCrc, false, false}, Case{"check by time", &byTime, true, false},
                          Case{"from a stream", &byCrc, false, true}}) {
        MemoryDataSource stream(c.entry->data(), static_cast<uint32_t>(c.entry->size()));
        ZipPipeline pipeline;
        LimitedOutput output;
        pipeline.setOutput(&output);
        if (c.fromStream) pipeline.setSourceStream(&stream);
        else pipeline.setSourceData(c.entry->data(), static_cast<uint32_t>(c.entry->size()));
        pipeline.setSourcePwdProtected("old", crc32OfData, checkTime, c.useTime);
        pipeline.setSourceCompressed(true);
        uint32_t crc = 0;
        EXPECT_TRUE(pipeline.run(crc, nullptr)) << c.label;
        EXPECT_TRUE(output.bytes == data) << c.label;
        EXPECT_EQ(crc, crc32OfData) << c.label;
    }
}

TEST_F(ZipPipelineTest, StageBFailuresAndTheirMessages) {
    Bytes entry = encryptPwd(zlibDeflateRaw(textData(5000), 6), "right", 0xAB000000);
    Bytes shortEntry(entry.begin(), entry.begin() + 11);
    std::string path = fileWith("entry.bin", entry);
    struct Case {
        const char* label;
        const char* password;
        SourceKind kind;
        const Bytes* bytes;
        const char* message;
    };
    const Case cases[] = {
        {"wrong password", "wrong", SourceKind::Memory, &entry, "E:Password incorrect for password-protected Zip"},
        {"11 bytes in memory", "right", SourceKind::Memory, &shortEntry,
         "E:Source is password-protected, but less than 12 bytes"},
        {"file source", "right", SourceKind::File, &entry, "E:Source is password-protected, but not in memory"},
        {"11-byte stream", "right", SourceKind::Stream, &shortEntry,
         "E:Failed to get encryption header for pwd-protect"},
    };
    for (const Case& c : cases) {
        MemoryDataSource stream(c.bytes->data(), static_cast<uint32_t>(c.bytes->size()));
        ZipPipeline pipeline;
        LimitedOutput output;
        RecordingLog log;
        pipeline.setOutput(&output);
        if (c.kind == SourceKind::Memory) pipeline.setSourceData(c.bytes->data(), static_cast<uint32_t>(c.bytes->size()));
        if (c.kind == SourceKind::File) pipeline.setSourceFile(path.c_str());
        if (c.kind == SourceKind::Stream) pipeline.setSourceStream(&stream);
        pipeline.setSourcePwdProtected(c.password, 0xAB000000, 0, false);
        pipeline.setSourceCompressed(true);
        uint32_t crc = 0;
        EXPECT_FALSE(pipeline.run(crc, &log)) << c.label;
        EXPECT_TRUE(log.has(c.message)) << c.label << ":\n" << log.all();
        EXPECT_TRUE(output.bytes.empty()) << c.label;
    }
}

TEST_F(ZipPipelineTest, MainStageFailuresAndTheirMessages) {
    std::string missing = m_work.file("missing.bin");
    std::string badFolder = m_work.file("no such folder");
    Bytes data = textData(100);
    struct Case {
        const char* label;
        std::function<void(ZipPipeline&)> configure;
        std::vector<std::string> entries;
    };
    const std::vector<Case> cases = {
        {"copy of a missing file", [&](ZipPipeline& p) { p.setSourceFile(missing.c_str()); },
         {"E:Failed to open file for reading (4)"}},
        {"deflate of a missing file",
         [&](ZipPipeline& p) {
             p.setSourceFile(missing.c_str());
             p.setCompressOutput(true);
         },
         {"E:Failed to open file for reading (5)"}},
        {"deflate to scratch of a missing file",
         [&](ZipPipeline& p) {
             p.setSourceFile(missing.c_str());
             p.setCompressOutput(true);
             p.encryptMethod = kZipEncryptWinZipAes;
         },
         {"E:Failed to open file for reading (6)"}},
        {"password-protected deflate of a missing file",
         [&](ZipPipeline& p) {
             p.setSourceFile(missing.c_str());
             p.setCompressOutput(true);
             p.pwdProtect = 1;
         },
         {"E:Failed to open file for reading (7)"}},
        {"scratch folder missing for deflate to scratch",
         [&](ZipPipeline& p) {
             p.setSourceData(data.data(), static_cast<uint32_t>(data.size()));
             p.setCompressOutput(true);
             p.encryptMethod = kZipEncryptWinZipAes;
             p.setTempDir(badFolder.c_str());
         },
         {"E:Failed to open temp file (2)"}},
        {"scratch folder missing for the scratch inflate",
         [&](ZipPipeline& p) {
             p.setSourceData(data.data(), static_cast<uint32_t>(data.size()));
             p.setSourceEncryption(kZipEncryptAes, 128, "x");
             p.setSourceEncrypted(true);
             p.setTempDir(badFolder.c_str());
         },
         {"E:Failed to create temporary output file", "E:Failed to inflate to temp for AES decryption"}},
        {"WinZip AES of a compressed file",
         [&](ZipPipeline& p) {
             p.setSourceFile(missing.c_str());
             p.setSourceCompressed(true);
             p.setCompressOutput(true);
             p.encryptMethod = kZipEncryptWinZipAes;
         },
         {"E:Internal Error: source should not be a file (24)"}},
        {"WinZip AES without output (compressed source)",
         [&](ZipPipeline& p) {
             p.setSourceData(data.data(), static_cast<uint32_t>(data.size()));
             p.setSourceCompressed(true);
             p.setCompressOutput(true);
             p.encryptMethod = kZipEncryptWinZipAes;
             p.setOutput(nullptr);
         },
         {"E:Internal Error: dest output is NULL (25)"}},
        {"WinZip AES without output",
         [&](ZipPipeline& p) {
             p.setSourceData(data.data(), static_cast<uint32_t>(data.size()));
             p.encryptMethod = kZipEncryptWinZipAes;
             p.setOutput(nullptr);
         },
         {"E:Internal error: missing output object!"}},
    };
    for (const Case& c : cases) {
        ZipPipeline pipeline;
        LimitedOutput output;
        RecordingLog log;
        pipeline.setOutput(&output);
        c.configure(pipeline);
        uint32_t crc = 0;
        EXPECT_FALSE(pipeline.run(crc, &log)) << c.label;
        for (const std::string& entry : c.entries) EXPECT_TRUE(log.has(entry)) << c.label << ":\n" << log.all();
    }
    // The scratch file that could not be created is named in the log.
    ZipPipeline pipeline;
    LimitedOutput output;
    RecordingLog log;
    pipeline.setOutput(&output);
    pipeline.setSourceData(data.data(), static_cast<uint32_t>(data.size()));
    pipeline.setCompressOutput(true);
    pipeline.encryptMethod = kZipEncryptWinZipAes;
    pipeline.setTempDir(badFolder.c_str());
    uint32_t crc = 0;
    EXPECT_FALSE(pipeline.run(crc, &log));
    bool named = false;
    for (const std::string& entry : log.lines())
        named = named || (entry.rfind("D:tempFilename=", 0) == 0 && entry.find("bvZ_") != std::string::npos &&
                          entry.find(".dat") != std::string::npos);
    EXPECT_TRUE(named) << log.all();
}

TEST_F(ZipPipelineTest, ScratchFilesGoToTheTempDirAndAreDeleted) {
    // (no, yes, 4) makes a "bvZ.dat" scratch; with a tempDir it lands there,
    // and the run deletes it.
    ScratchFolder tempDir("zp_tempdir");
    Bytes data = textData(10000);
    ZipPipeline pipeline;
    LimitedOutput output;
    pipeline.setOutput(&output);
    pipeline.setSourceData(data.data(), static_cast<uint32_t>(data.size()));
    pipeline.setCompressOutput(true);
    pipeline.encryptMethod = kZipEncryptWinZipAes;
    pipeline.setTempDir(tempDir.path().string().c_str());
    uint32_t crc = 0;
    EXPECT_TRUE(pipeline.run(crc, nullptr));
    std::string scratch = pipeline.sourcePath();
    EXPECT_EQ(scratch.rfind(tempDir.path().string(), 0), 0u) << scratch;
    EXPECT_NE(scratch.find("bvZ_"), std::string::npos) << scratch;
    EXPECT_FALSE(pipeline.ownsScratchSource());
    EXPECT_TRUE(tempDir.entries().empty());
}
