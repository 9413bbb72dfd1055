// ZIP entry encryption against real archivers, run at test time on the same
// bytes:
// - WinZip AES: entries that 7-Zip writes (`7z a -tzip -mem=AES128|192|256`)
//   decrypt with WinZipAes::decryptEntry, and entries that encryptMemory
//   makes, wrapped into a one-entry ZIP here, pass `7z t` and `7z x`.
// - Traditional encryption: entries that Info-ZIP `zip -P` writes pass
//   PwdProtect::checkHeader and decrypt, and entries that makeHeader +
//   encryptBytes make extract with Info-ZIP `unzip -P`.
// Deflated entries are inflated with zlib's raw inflate.
// A missing tool fails these tests and says what to install. The Windows
// build of the suite runs under Wine, where these tools do not exist; the
// comparisons run in the native suite.

#if !defined(_WIN32)

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <string>
#include <vector>

#include "ZipCryptTestSupport.h"
#include "core/ZipCRC.h"
#include "core/DataBuffer.h"
#include "core/StringBuffer.h"
#include "crypto/PwdProtect.h"
#include "crypto/WinZipAes.h"
#include "io/OutputDataBuffer.h"

using namespace zipcrypt_test;

namespace {

const char* const kInstall7z = "the 7z command is missing: install p7zip-full";
const char* const kInstallZip = "the zip command is missing: install zip (Info-ZIP)";
const char* const kInstallUnzip = "the unzip command is missing: install unzip (Info-ZIP)";

// zlib's raw inflate (no header, no trailer) of a whole entry.
bool rawInflate(const Bytes& in, uint32_t expectedSize, Bytes& out) {
    out.assign(expectedSize, 0);
    z_stream zs;
    std::memset(&zs, 0, sizeof(zs));
    if (inflateInit2(&zs, -MAX_WBITS) != Z_OK) return false;
    zs.next_in = const_cast<Bytef*>(in.data());
    zs.avail_in = uInt(in.size());
    zs.next_out = out.data();
    zs.avail_out = uInt(out.size());
    const int rc = inflate(&zs, Z_FINISH);
    inflateEnd(&zs);
    return rc == Z_STREAM_END && zs.total_out == expectedSize;
}

// The plaintext of a stored or deflated entry body.
bool expandEntry(uint16_t method, const Bytes& body, uint32_t size, Bytes& plain) {
    if (method == kMethodStored) {
        plain = body;
        return true;
    }
    return method == kMethodDeflated && rawInflate(body, size, plain);
}

uint32_t crcOf(const Bytes& b) {
    ZipCRC crc;
    return crc.compute(b.data(), uint32_t(b.size()));
}

// Test content: text (which deflates) followed by bytes that do not.
Bytes sampleContent(uint32_t textBytes, uint32_t binaryBytes, uint32_t seed) {
    Bytes content = patternBytes(textBytes, seed, true);
    const Bytes tail = patternBytes(binaryBytes, seed + 1);
    content.insert(content.end(), tail.begin(), tail.end());
    return content;
}

}  // namespace

// 7-Zip's AES entries, stored and deflated, at each key size.
TEST(ZipInterop, SevenZipAesEntriesDecrypt) {
    ASSERT_TRUE(toolAvailable("7z")) << kInstall7z;
    const Bytes content = sampleContent(30000, 9000, 21);
    const struct {
        const char* method;
        int32_t strength;
        const char* level;
    } cases[] = {
        {"AES256", 3, "-mx0"}, {"AES128", 1, "-mx0"}, {"AES192", 2, "-mx0"},
        {"AES256", 3, "-mx5"}, {"AES128", 1, "-mx5"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.method) + " " + c.level);
        ScratchDir dir;
        writeFileBytes(dir / "content.bin", content);
        std::string output;
        ASSERT_EQ(runTool(dir, std::string("7z a -tzip -mem=") + c.method + " " + c.level +
                                   " -pOpen-Sesame7 archive.zip content.bin",
                          output),
                  0)
            << output;

        ZipEntry entry;
        std::string why;
        ASSERT_TRUE(readFirstEntry(readFileBytes(dir / "archive.zip"), entry, why)) << why;
        EXPECT_EQ(entry.method, kMethodWinZipAes);
        EXPECT_TRUE(entry.flags & kFlagEncrypted);
        ASSERT_TRUE(entry.hasAesExtra);
        EXPECT_EQ(entry.aesStrength, c.strength);
        EXPECT_EQ(entry.data.size(), entry.compressedSize);

        StringBuffer password("Open-Sesame7");
        DataBuffer body;
        bool badPassword = true, badAuth = true;
        ASSERT_TRUE(WinZipAes::decryptEntry(entry.data.data(), uint32_t(entry.data.size()), password,
                                            entry.aesStrength, body, nullptr, badPassword, badAuth));
        EXPECT_FALSE(badPassword);
        EXPECT_FALSE(badAuth);
        Bytes plain;
        ASSERT_TRUE(expandEntry(entry.aesMethod, Bytes(body.getData(), body.getData() + body.getSize()),
                                entry.uncompressedSize, plain))
            << "real method " << entry.aesMethod;
        EXPECT_EQ(plain, content);

        StringBuffer wrong("open-sesame7");
        DataBuffer ignored;
        EXPECT_FALSE(WinZipAes::decryptEntry(entry.data.data(), uint32_t(entry.data.size()), wrong,
                                             entry.aesStrength, ignored, nullptr, badPassword, badAuth));
        EXPECT_TRUE(badPassword || badAuth);
    }
}

// encryptMemory's entries, in an AE-2 stored entry (CRC 0), are accepted by
// `7z t` and extract to the content with `7z x`; a wrong password is refused.
TEST(ZipInterop, OurAesEntriesPass7z) {
    ASSERT_TRUE(toolAvailable("7z")) << kInstall7z;
    const struct {
        int32_t strength;
        uint32_t length;
    } cases[] = {{3, 8097}, {1, 20000}, {2, 5}, {3, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE("strength " + std::to_string(c.strength) + ", " + std::to_string(c.length) + " bytes");
        ScratchDir dir;
        const Bytes content = sampleContent(c.length / 2, c.length - c.length / 2, c.length);
        DataBuffer entryData;
        OutputDataBuffer out(&entryData);
        StringBuffer password("Zip-Pass 42");
        ASSERT_TRUE(WinZipAes::encryptMemory(content.data(), uint32_t(content.size()), password, c.strength,
                                             out, nullptr));
        ASSERT_EQ(entryData.getSize(), content.size() + WinZipAes::overhead(c.strength));

        ZipEntryLayout layout;
        layout.name = "content.bin";
        layout.versionNeeded = kVersionNeededAes;
        layout.flags = kFlagEncrypted;
        layout.method = kMethodWinZipAes;
        layout.crc = 0;  // AE-2: the authentication code replaces the CRC
        layout.uncompressedSize = uint32_t(content.size());
        layout.extra = aesExtraField(uint8_t(c.strength), kMethodStored);
        layout.data.assign(entryData.getData(), entryData.getData() + entryData.getSize());
        writeFileBytes(dir / "ours.zip", buildZip(layout));

        std::string output;
        EXPECT_EQ(runTool(dir, "7z t '-pZip-Pass 42' ours.zip", output), 0) << output;
        EXPECT_NE(output.find("Everything is Ok"), std::string::npos) << output;
        ASSERT_EQ(runTool(dir, "7z x -y '-pZip-Pass 42' -oextracted ours.zip", output), 0) << output;
        EXPECT_EQ(readFileBytes(dir / "extracted" / "content.bin"), content);
        if (c.length > 0) {
            EXPECT_NE(runTool(dir, "7z t -pwrong-pass ours.zip", output), 0) << output;
        }
    }
}

// Info-ZIP's encrypted entries, stored and deflated: the header check (by
// CRC, or by the time field when the entry has a data descriptor), then the
// data.
TEST(ZipInterop, InfoZipEntriesDecrypt) {
    ASSERT_TRUE(toolAvailable("zip")) << kInstallZip;
    const Bytes content = sampleContent(40000, 5000, 33);
    for (const char* level : {"-0", "-6"}) {
        SCOPED_TRACE(level);
        ScratchDir dir;
        writeFileBytes(dir / "content.bin", content);
        std::string output;
        ASSERT_EQ(runTool(dir, std::string("zip -q ") + level + " -P 'Info Pass' archive.zip content.bin", output), 0)
            << output;
        ZipEntry entry;
        std::string why;
        ASSERT_TRUE(readFirstEntry(readFileBytes(dir / "archive.zip"), entry, why)) << why;
        ASSERT_TRUE(entry.flags & kFlagEncrypted);
        ASSERT_GE(entry.data.size(), kPwdHeaderBytes);
        EXPECT_EQ(entry.crc, crcOf(content));

        const bool useTime = (entry.flags & kFlagDataDescriptor) != 0;
        PwdProtect reader;
        reader.setPassword("Info Pass");
        reader.initKeys();
        ASSERT_TRUE(reader.checkHeader(entry.data.data(), entry.modTime, entry.crc, useTime));
        Bytes body(entry.data.begin() + kPwdHeaderBytes, entry.data.end());
        reader.decryptBytes(body.data(), uint32_t(body.size()));
        Bytes plain;
        ASSERT_TRUE(expandEntry(entry.method, body, entry.uncompressedSize, plain)) << "method " << entry.method;
        EXPECT_EQ(plain, content);
    }
}

// makeHeader + encryptBytes over stored data, wrapped into a ZIP here,
// extracts with unzip; a wrong password is refused.
TEST(ZipInterop, OurPwdEntriesExtractWithUnzip) {
    ASSERT_TRUE(toolAvailable("unzip")) << kInstallUnzip;
    for (uint32_t length : {0u, 1u, 70000u}) {
        SCOPED_TRACE(std::to_string(length) + " bytes");
        ScratchDir dir;
        const Bytes content = sampleContent(length / 2, length - length / 2, length + 5);
        const uint32_t crc = crcOf(content);
        PwdProtect writer;
        writer.setPassword("unzip me");
        Bytes data(kPwdHeaderBytes);
        writer.makeHeader(crc, data.data());
        Bytes body = content;
        writer.encryptBytes(body.data(), uint32_t(body.size()));
        data.insert(data.end(), body.begin(), body.end());

        ZipEntryLayout layout;
        layout.name = "content.bin";
        layout.flags = kFlagEncrypted;
        layout.method = kMethodStored;
        layout.crc = crc;
        layout.uncompressedSize = uint32_t(content.size());
        layout.data = data;
        writeFileBytes(dir / "ours.zip", buildZip(layout));

        std::string output;
        ASSERT_EQ(runTool(dir, "unzip -o -P 'unzip me' ours.zip -d extracted", output), 0) << output;
        EXPECT_EQ(readFileBytes(dir / "extracted" / "content.bin"), content);
        EXPECT_EQ(runTool(dir, "unzip -t -P 'unzip me' ours.zip", output), 0) << output;
        EXPECT_NE(runTool(dir, "unzip -t -P 'wrong' ours.zip", output), 0) << output;
    }
}

#endif  // !_WIN32
