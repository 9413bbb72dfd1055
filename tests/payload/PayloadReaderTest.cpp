// PayloadReader against SimpleArchive on the same payloads: the settings it
// lists agree with what the installer's reader looks up, the records it
// frames are those extractNext extracts, and each framing fault comes back
// as its own result.

#include "payload/PayloadReader.h"

#include <gtest/gtest.h>

#include "PayloadTestSupport.h"
#include "io/MemoryDataSource.h"
#include "payload/SimpleArchive.h"

namespace {

using namespace payload_test;

const Bytes kStub = bytesOf(std::string("stub bytes \x48\x12\x90\xBF but no marker", 30));

Bytes installer(const Bytes& payload) {
    Bytes out = kStub;
    append(out, payload);
    return out;
}

TEST(PayloadReader, SettingsInOrderAndAsTheInstallerReadsThem) {
    MemoryPayload payload;
    ASSERT_TRUE(payload.writer.writeHeader());
    for (int i = 0; i < 199; ++i) {
        ASSERT_TRUE(payload.writer.addSetting(("k" + std::to_string(i % 150)).c_str(), std::to_string(i).c_str()));
    }
    ASSERT_TRUE(payload.writer.addSetting("empty", ""));
    ASSERT_TRUE(payload.writer.endSettings());  // 200 pairs: no terminator
    ASSERT_TRUE(payload.writer.writeDirectory("d", kUnixEpochFileTime, 0x10));
    ASSERT_TRUE(payload.writer.writeEnd());
    const Bytes bytes = installer(payload.bytes());

    MemoryDataSource source(bytes.data(), uint32_t(bytes.size()));
    PayloadReader reader(source);
    ASSERT_EQ(reader.open(), PayloadReader::OpenResult::Ok);
    EXPECT_EQ(reader.markerOffset(), kStub.size());
    EXPECT_FALSE(reader.settingsTerminated());
    ASSERT_EQ(reader.settings().size(), 200u);
    EXPECT_EQ(reader.settings()[3].name, "k3");
    EXPECT_EQ(reader.settings()[153].name, "k3");
    EXPECT_EQ(reader.settings()[199].name, "empty");

    MemoryDataSource again(bytes.data(), uint32_t(bytes.size()));
    SimpleArchive archive;
    archive.setSource(&again);
    ASSERT_TRUE(archive.findMarker() && archive.readHeader() && archive.readArgs());
    for (const char* name : {"k0", "k3", "k49", "k149", "empty", "absent"}) {
        StringBuffer expected;
        const bool present = archive.getArg(name, expected);
        std::string value;
        EXPECT_EQ(reader.getSetting(name, value), present) << name;
        EXPECT_EQ(value, expected.getString()) << name;
    }
    // The record after the 200th pair is read as a record.
    PayloadReader::EntryRecord entry;
    ASSERT_EQ(reader.nextRecord(entry), PayloadReader::RecordResult::Entry);
    EXPECT_EQ(entry.name, "d");
    EXPECT_EQ(reader.nextRecord(entry), PayloadReader::RecordResult::End);
}

TEST(PayloadReader, FramesEveryRecordAndChunk) {
    MemoryPayload payload;
    const Bytes text = compressibleText(5000);
    const Bytes deflated = rawDeflate(text);
    ASSERT_TRUE(payload.writer.writeHeader() && payload.writer.endSettings());
    ASSERT_TRUE(payload.writer.writeDirectory("sub", kUnixEpochFileTime, 0x10));
    ASSERT_TRUE(payload.writer.beginFile("sub/f.txt", kBillionSecondsFileTime, 0x21));
    ASSERT_TRUE(payload.writer.writeCompressedChunk(deflated.data(), uint32_t(deflated.size())));
    ASSERT_TRUE(payload.writer.writeStoredChunk("tail", 4));
    ASSERT_TRUE(payload.writer.writeStoredChunk(nullptr, 0));  // stored, n = 0: not the end
    ASSERT_TRUE(payload.writer.endFile());
    ASSERT_TRUE(payload.writer.writeOtherEntry(7, "x", 0, 0));
    ASSERT_TRUE(payload.writer.writeEnd());
    const Bytes bytes = installer(payload.bytes());

    MemoryDataSource source(bytes.data(), uint32_t(bytes.size()));
    PayloadReader reader(source);
    ASSERT_EQ(reader.open(), PayloadReader::OpenResult::Ok);
    PayloadReader::EntryRecord entry;
    ASSERT_EQ(reader.nextRecord(entry), PayloadReader::RecordResult::Entry);
    EXPECT_EQ(entry.type, 1);
    EXPECT_EQ(entry.name, "sub");
    ASSERT_EQ(reader.nextRecord(entry), PayloadReader::RecordResult::Entry);
    EXPECT_EQ(entry.type, 2);
    EXPECT_EQ(entry.name, "sub/f.txt");
    EXPECT_EQ(entry.fileTime, kBillionSecondsFileTime);
    EXPECT_EQ(entry.attributes, 0x21u);

    DataBuffer data;
    PayloadReader::ChunkRecord chunk;
    ASSERT_EQ(reader.nextChunk(chunk, data), PayloadReader::ChunkResult::Data);
    EXPECT_FALSE(chunk.stored);
    EXPECT_EQ(bytesOf(data), deflated);
    ASSERT_EQ(reader.nextChunk(chunk, data), PayloadReader::ChunkResult::Data);
    EXPECT_TRUE(chunk.stored);
    EXPECT_EQ(bytesOf(data), bytesOf(std::string("tail")));
    ASSERT_EQ(reader.nextChunk(chunk, data), PayloadReader::ChunkResult::Data);
    EXPECT_TRUE(chunk.stored);
    EXPECT_EQ(chunk.dataBytes, 0u);
    EXPECT_EQ(reader.nextChunk(chunk, data), PayloadReader::ChunkResult::EndOfData);
    ASSERT_EQ(reader.nextRecord(entry), PayloadReader::RecordResult::Entry);
    EXPECT_EQ(entry.type, 7);
    EXPECT_EQ(reader.nextRecord(entry), PayloadReader::RecordResult::End);
    EXPECT_EQ(reader.position(), bytes.size());

    // The installer's reader extracts the same entries from the same bytes.
    ScratchDirectory scratch;
    MemoryDataSource again(bytes.data(), uint32_t(bytes.size()));
    SimpleArchive archive;
    archive.setSource(&again);
    ASSERT_TRUE(archive.findMarker() && archive.readHeader() && archive.readArgs());
    bool finished = false;
    int steps = 0;
    while (archive.extractNext(finished, nullptr) && !finished) ++steps;
    EXPECT_TRUE(finished);
    EXPECT_EQ(steps, 3);
    Bytes expected = text;
    append(expected, bytesOf(std::string("tail")));
    EXPECT_EQ(readWholeFile(scratch.path() / "sub" / "f.txt"), expected);
}

// One payload, damaged in turn at the places each result stands for.
TEST(PayloadReader, FramingFaults) {
    MemoryPayload payload;
    ASSERT_TRUE(payload.writer.writeHeader() && payload.writer.endSettings());
    ASSERT_TRUE(payload.writer.beginFile("f", kUnixEpochFileTime, 0x20));
    ASSERT_TRUE(payload.writer.writeStoredChunk("abcdef", 6));
    ASSERT_TRUE(payload.writer.endFile());
    ASSERT_TRUE(payload.writer.writeEnd());
    const Bytes sound = installer(payload.bytes());
    const size_t record = kStub.size() + 8 + 6 + 2;  // marker, header, settings terminator
    const size_t chunkField = record + 4 + 1 + 2 + 1 + 8 + 4;

    struct Case {
        const char* label;
        size_t cutTo;          // 0: not cut
        size_t patchAt;        // 0: no patch
        Bytes patch;
        PayloadReader::RecordResult record;
        PayloadReader::ChunkResult chunk;  // when the record is read
    } cases[] = {
        {"sound", 0, 0, {}, PayloadReader::RecordResult::Entry, PayloadReader::ChunkResult::Data},
        {"wrong magic", 0, record, {0x9B, 0xE5, 0x27, 0x6E}, PayloadReader::RecordResult::BadMagic,
         PayloadReader::ChunkResult::Data},
        {"zero name length", 0, record + 5, {0, 0}, PayloadReader::RecordResult::BadName, PayloadReader::ChunkResult::Data},
        {"cut in the header", record + 10, 0, {}, PayloadReader::RecordResult::Truncated, PayloadReader::ChunkResult::Data},
        {"cut in the chunk", chunkField + 6, 0, {}, PayloadReader::RecordResult::Entry, PayloadReader::ChunkResult::Truncated},
        {"cut before the length", chunkField, 0, {}, PayloadReader::RecordResult::Entry, PayloadReader::ChunkResult::Truncated},
        {"2,048,576 bytes", 0, chunkField, {0x40, 0x42, 0x1F, 0x00}, PayloadReader::RecordResult::Entry,
         PayloadReader::ChunkResult::Oversized},
    };
    for (const Case& c : cases) {
        Bytes bytes = sound;
        if (c.cutTo != 0) bytes.resize(c.cutTo);
        if (c.patchAt != 0) std::copy(c.patch.begin(), c.patch.end(), bytes.begin() + long(c.patchAt));
        MemoryDataSource source(bytes.data(), uint32_t(bytes.size()));
        PayloadReader reader(source);
        ASSERT_EQ(reader.open(), PayloadReader::OpenResult::Ok) << c.label;
        PayloadReader::EntryRecord entry;
        ASSERT_EQ(reader.nextRecord(entry), c.record) << c.label;
        if (c.record != PayloadReader::RecordResult::Entry) continue;
        DataBuffer data;
        PayloadReader::ChunkRecord chunk;
        EXPECT_EQ(reader.nextChunk(chunk, data), c.chunk) << c.label;
    }
}

TEST(PayloadReader, OpenFailures) {
    MemoryPayload payload;
    ASSERT_TRUE(payload.writer.writeHeader() && payload.writer.addSetting("appTitle", "T") &&
                payload.writer.endSettings() && payload.writer.writeEnd());
    const Bytes sound = installer(payload.bytes());
    struct Case {
        const char* label;
        size_t cutTo;
        PayloadReader::OpenResult result;
    } cases[] = {
        {"stub only", kStub.size(), PayloadReader::OpenResult::NoMarker},
        {"half a marker", kStub.size() + 6, PayloadReader::OpenResult::NoMarker},
        {"header cut", kStub.size() + 8 + 3, PayloadReader::OpenResult::BadHeader},
        {"settings cut", kStub.size() + 8 + 6 + 5, PayloadReader::OpenResult::BadSettings},
        {"whole", sound.size(), PayloadReader::OpenResult::Ok},
    };
    for (const Case& c : cases) {
        const Bytes bytes(sound.begin(), sound.begin() + long(c.cutTo));
        MemoryDataSource source(bytes.data(), uint32_t(bytes.size()));
        PayloadReader reader(source);
        EXPECT_EQ(reader.open(), c.result) << c.label;
    }
}

TEST(PayloadReader, EncryptedNamesAndChunks) {
    for (int32_t bits : {128, 192, 256}) {
        MemoryPayload payload;
        ASSERT_TRUE(payload.writer.setEncryption("open sesame", bits));
        ASSERT_TRUE(payload.writer.writeHeader() && payload.writer.endSettings());
        ASSERT_TRUE(payload.writer.beginFile("secret/name.txt", kUnixEpochFileTime, 0x20));
        ASSERT_TRUE(payload.writer.writeStoredChunk("sixteen bytes!!!", 16));
        ASSERT_TRUE(payload.writer.endFile());
        ASSERT_TRUE(payload.writer.writeEnd());
        const Bytes bytes = installer(payload.bytes());

        MemoryDataSource wrongSource(bytes.data(), uint32_t(bytes.size()));
        PayloadReader wrong(wrongSource);
        ASSERT_EQ(wrong.open(), PayloadReader::OpenResult::Ok);
        EXPECT_TRUE(wrong.isEncrypted());
        EXPECT_EQ(wrong.keyBits(), bits);
        EXPECT_EQ(wrong.checkPassword("open sesame!"), PayloadReader::PasswordResult::Wrong);

        MemoryDataSource source(bytes.data(), uint32_t(bytes.size()));
        PayloadReader reader(source);
        ASSERT_EQ(reader.open(), PayloadReader::OpenResult::Ok);
        ASSERT_EQ(reader.checkPassword("open sesame"), PayloadReader::PasswordResult::Ok);
        PayloadReader::EntryRecord entry;
        ASSERT_EQ(reader.nextRecord(entry), PayloadReader::RecordResult::Entry);
        EXPECT_EQ(entry.name, "secret/name.txt");
        EXPECT_EQ(entry.storedNameBytes, 16u);
        EXPECT_TRUE(entry.namePaddingValid);
        DataBuffer stored;
        PayloadReader::ChunkRecord chunk;
        ASSERT_EQ(reader.nextChunk(chunk, stored), PayloadReader::ChunkResult::Data);
        EXPECT_EQ(chunk.dataBytes, 32u);  // a whole padding block follows 16 bytes
        DataBuffer plain;
        bool paddingValid = false;
        ASSERT_TRUE(reader.decipher(stored, plain, paddingValid));
        EXPECT_TRUE(paddingValid);
        EXPECT_EQ(bytesOf(plain), bytesOf(std::string("sixteen bytes!!!")));

        // A changed byte in the last block spoils its padding.
        stored.getData()[31] ^= 0x01;
        ASSERT_TRUE(reader.decipher(stored, plain, paddingValid));
        EXPECT_FALSE(paddingValid);
        stored.setSize(31);
        EXPECT_FALSE(reader.decipher(stored, plain, paddingValid)) << "not whole blocks";
    }
}

}  // namespace
